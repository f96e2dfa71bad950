#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The main of the window's tests.
int main(int argc, char **argv)
{
    // Headless unless the caller chose a platform; tests never need a screen.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
