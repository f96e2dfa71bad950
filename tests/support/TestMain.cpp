#include <QCoreApplication>

#include <gtest/gtest.h>

// The main of the window-free libraries' tests: an event loop, no window.
int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
