#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

QRect freeArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST(ScreenFit, AWindowTooLargeForTheScreenShrinksToFitFrameAndAll)
{
    QWidget window;
    window.resize(freeArea().size() * 2);
    fitOnScreen(window, Placement::Centred);
    // The frame the window manager will add, allowed for before it is known.
    const QRect frame(window.pos(), window.size() + QSize(16, 48));
    EXPECT_TRUE(freeArea().contains(frame)) << frame.width() << "x" << frame.height();
    EXPECT_LT(qAbs(frame.center().x() - freeArea().center().x()), 2);
}

TEST(ScreenFit, AWindowThatFitsKeepsItsSizeAndItsPlacingToTheWindowManager)
{
    QWidget fits;
    fits.resize(300, 200);
    fitOnScreen(fits, Placement::ByWindowManager);
    EXPECT_EQ(fits.size(), QSize(300, 200));
    EXPECT_FALSE(fits.testAttribute(Qt::WA_Moved));
}

} // namespace
} // namespace tidewell
