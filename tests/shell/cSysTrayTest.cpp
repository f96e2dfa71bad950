#include "DesktopTray.h"
#include "FakeTray.h"
#include "RuntimeError.h"
#include "cSysTray.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using namespace std::chrono_literals;
using test::FakeTray;

QIcon blueIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::blue);
    return QIcon(pixmap);
}

class TrayTest : public ::testing::Test
{
protected:
    TrayTest()
    {
        auto fakeTray = std::make_unique<FakeTray>();
        fake = fakeTray.get();
        record = fake->record;
        tray = std::make_unique<cSysTray>(std::move(fakeTray));
        record->calls.clear();
    }

    FakeTray *fake = nullptr;
    std::shared_ptr<FakeTray::Record> record;
    std::unique_ptr<cSysTray> tray;
};

TEST_F(TrayTest, InTrayChangesOnlyWhenTheValueChanges)
{
    tray->setInTray(false);
    EXPECT_TRUE(record->calls.isEmpty());

    tray->setInTray(true);
    tray->setInTray(true);
    EXPECT_EQ(record->calls, QStringList{QStringLiteral("shown")});
    EXPECT_TRUE(tray->InTray());

    tray->setInTray(false);
    tray->setInTray(false);
    EXPECT_EQ(record->calls, (QStringList{QStringLiteral("shown"), QStringLiteral("hidden")}));
    EXPECT_FALSE(record->shown);
}

TEST_F(TrayTest, TheIconShowsTheTipAndPictureItHasWhenPutInTheTray)
{
    tray->setInTray(true);
    EXPECT_EQ(record->tip, QStringLiteral("Telnet Server")) << "the tip of a control given none";
    EXPECT_TRUE(record->icon.isNull());

    tray->setTrayTip(QString());
    EXPECT_TRUE(record->tip.isEmpty()) << "an empty tip is a tip like any other";

    tray->setInTray(false);
    const QIcon icon = blueIcon();
    tray->setTrayIcon(icon);
    tray->setTrayTip(QStringLiteral("Tidewell Episode Keeper"));
    tray->setInTray(true);
    EXPECT_TRUE(record->shown);
    EXPECT_EQ(record->tip, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(record->icon.cacheKey(), icon.cacheKey());
}

TEST_F(TrayTest, TipAndIconChangesInTheTrayReachTheIcon)
{
    tray->setInTray(true);
    tray->setTrayTip(QStringLiteral("new tip"));
    EXPECT_EQ(record->tip, QStringLiteral("new tip"));
    EXPECT_EQ(tray->TrayTip(), QStringLiteral("new tip"));

    const QIcon icon = blueIcon();
    tray->setTrayIcon(icon);
    EXPECT_EQ(record->icon.cacheKey(), icon.cacheKey());

    // A null picture is ignored and keeps the old icon.
    record->calls.clear();
    tray->setTrayIcon(QIcon());
    EXPECT_TRUE(record->calls.isEmpty());
    EXPECT_EQ(record->icon.cacheKey(), icon.cacheKey());
    EXPECT_EQ(tray->TrayIcon().cacheKey(), icon.cacheKey());
}

TEST_F(TrayTest, TextsAreCutToWhatTheNotificationAreaShows)
{
    const QString tip(200, QLatin1Char('t'));
    tray->setTrayTip(tip);
    tray->setInTray(true);
    EXPECT_EQ(record->tip, tip.left(127));
    EXPECT_EQ(tray->TrayTip(), tip) << "the property keeps the whole text";

    tray->ShowBalloon(QString(300, QLatin1Char('b')), QString(100, QLatin1Char('h')), 0, false);
    ASSERT_EQ(record->notices.size(), 1u);
    EXPECT_EQ(record->notices[0].text.size(), 255);
    EXPECT_EQ(record->notices[0].title.size(), 63);

    // A character outside the basic plane is kept whole or not at all.
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
    tray->setTrayTip(QString(125, QLatin1Char('a')) + clef);
    EXPECT_EQ(record->tip, QString(125, QLatin1Char('a')) + clef);
    tray->setTrayTip(QString(126, QLatin1Char('a')) + clef);
    EXPECT_EQ(record->tip, QString(126, QLatin1Char('a')));
}

TEST_F(TrayTest, ClicksBecomeEventsWhileTheIconIsInTheTray)
{
    QSignalSpy down(tray.get(), &cSysTray::MouseDown);
    QSignalSpy up(tray.get(), &cSysTray::MouseUp);
    QSignalSpy dblClick(tray.get(), &cSysTray::MouseDblClick);
    tray->setInTray(true);

    fake->click(Qt::MiddleButton);
    EXPECT_EQ(down.count() + up.count() + dblClick.count(), 0) << "the middle button raises no event";

    fake->click(Qt::LeftButton);
    fake->click(Qt::RightButton);
    fake->doubleClick();
    ASSERT_EQ(down.count(), 2);
    EXPECT_EQ(down.at(0).at(0).toInt(), 1);
    EXPECT_EQ(down.at(1).at(0).toInt(), 2);
    ASSERT_EQ(up.count(), 3);
    EXPECT_EQ(up.at(0).at(0).toInt(), 1);
    EXPECT_EQ(up.at(1).at(0).toInt(), 2);
    EXPECT_EQ(up.at(1).at(1).toInt(), 0);
    EXPECT_EQ(up.at(2).at(0).toInt(), 1) << "a double click ends with a release";
    ASSERT_EQ(dblClick.count(), 1);
    EXPECT_EQ(dblClick.at(0).at(0).toInt(), 1);

    tray->setInTray(false);
    fake->click(Qt::LeftButton);
    EXPECT_EQ(up.count(), 3) << "an icon out of the tray is clicked by no one";
}

TEST_F(TrayTest, AHandlerMayDestroyTheControlBetweenPressAndRelease)
{
    tray->setInTray(true);
    QObject::connect(tray.get(), &cSysTray::MouseDown, [this] { tray.reset(); });
    fake->click(Qt::LeftButton);
    EXPECT_FALSE(tray);
    EXPECT_FALSE(record->shown) << "the icon went with the control";
}

TEST_F(TrayTest, ShowOnceShowsOneBalloonPerInstance)
{
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, true);
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, true);
    EXPECT_EQ(record->notices.size(), 1u);
    EXPECT_EQ(tray->OnceBalloonCount(), 1);

    tray->ShowBalloon(QStringLiteral("again"), QStringLiteral("title"), 0, false);
    tray->ShowBalloon(QStringLiteral("again"), QStringLiteral("title"), 0, false);
    EXPECT_EQ(record->notices.size(), 3u);
    EXPECT_EQ(tray->OnceBalloonCount(), 1);
}

TEST_F(TrayTest, ZeroSecondsLeavesTheBalloonToTheDesktop)
{
    // Nothing would end a wait here, so returning proves there was none.
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, false);
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), -3, false);
    ASSERT_EQ(record->notices.size(), 2u);
    for (const FakeTray::Notice &notice : record->notices) {
        EXPECT_EQ(notice.timeout, 0ms);
        EXPECT_EQ(notice.text, QStringLiteral("text"));
        EXPECT_EQ(notice.title, QStringLiteral("title"));
    }
    EXPECT_EQ(record->withdrawals, 0);
    EXPECT_TRUE(tray->BalloonShowing());
}

TEST_F(TrayTest, ABalloonClosedOnTheDesktopEndsTheWaitWithoutAWithdrawal)
{
    tray->setInTray(true);
    fake->onNotice = [this](const FakeTray::Notice &) { fake->closeNoticeLater(); };
    QElapsedTimer elapsed;
    elapsed.start();
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 5, true);
    EXPECT_LT(elapsed.elapsed(), 4000);

    ASSERT_EQ(record->notices.size(), 1u);
    EXPECT_EQ(record->notices[0].timeout, 5000ms);
    EXPECT_EQ(record->withdrawals, 0);
    EXPECT_FALSE(tray->BalloonShowing());
}

TEST_F(TrayTest, ABalloonStillUpAtTheEndOfTheWaitIsWithdrawn)
{
    tray->setInTray(true);
    tray->setSecondLength(1ms);
    bool otherHandlerRan = false;
    QTimer::singleShot(0, [&] { otherHandlerRan = true; });

    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 3, false);
    EXPECT_TRUE(otherHandlerRan) << "the wait lets the program run";
    ASSERT_EQ(record->notices.size(), 1u);
    EXPECT_EQ(record->notices[0].timeout, 3000ms);
    EXPECT_EQ(record->calls.last(), QStringLiteral("withdrawn"));
    EXPECT_TRUE(tray->BalloonShowing());
}

TEST_F(TrayTest, ATimeOutBeyondThe32BitRangeIsAnOverflow)
{
    try {
        tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 2147484, true);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError &error) {
        EXPECT_EQ(error.number(), errnum::Overflow);
    }
    EXPECT_TRUE(record->calls.isEmpty());
    EXPECT_EQ(tray->OnceBalloonCount(), 0);
    EXPECT_FALSE(tray->BalloonShowing());

    // The largest time-out that fits is shown.
    tray->setInTray(true);
    fake->onNotice = [this](const FakeTray::Notice &) { fake->closeNoticeLater(); };
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 2147483, true);
    ASSERT_EQ(record->notices.size(), 1u);
    EXPECT_EQ(record->notices[0].timeout, 2147483000ms);
}

TEST_F(TrayTest, TheHostMayDestroyTheControlDuringTheBalloonWait)
{
    tray->setInTray(true);
    QTimer::singleShot(0, [this] { tray.reset(); });
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 5, false);
    EXPECT_EQ(record->calls,
              (QStringList{QStringLiteral("shown"), QStringLiteral("notice"), QStringLiteral("hidden")}));
}

TEST_F(TrayTest, DestroyingTheControlTakesTheIconOut)
{
    tray->setInTray(true);
    tray.reset();
    EXPECT_FALSE(record->shown);
    EXPECT_EQ(record->calls.last(), QStringLiteral("hidden"));
}

// The desktop's own notification area, as far as it can be tried without one.
TEST(DesktopTray, TipPictureAndVisibilityReachTheDesktopIcon)
{
    DesktopTray tray;
    tray.setTip(QStringLiteral("tip"));
    tray.setShown(true);
    EXPECT_EQ(tray.icon().toolTip(), QStringLiteral("tip"));
    EXPECT_FALSE(tray.icon().isVisible()) << "no entry without a picture";
    tray.setIcon(blueIcon());
    EXPECT_TRUE(tray.icon().isVisible());

    tray.setShown(false);
    EXPECT_FALSE(tray.icon().isVisible());
    tray.setIcon(blueIcon());
    EXPECT_FALSE(tray.icon().isVisible()) << "a new picture does not bring a hidden icon back";
}

TEST(DesktopTray, ClicksOnTheIconRaiseTheMatchingEvents)
{
    auto owned = std::make_unique<DesktopTray>();
    auto &icon = const_cast<QSystemTrayIcon &>(owned->icon());
    cSysTray tray(std::move(owned));
    QSignalSpy down(&tray, &cSysTray::MouseDown);
    QSignalSpy up(&tray, &cSysTray::MouseUp);
    QSignalSpy dblClick(&tray, &cSysTray::MouseDblClick);
    tray.setInTray(true);

    Q_EMIT icon.activated(QSystemTrayIcon::MiddleClick);
    Q_EMIT icon.activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(down.count() + up.count() + dblClick.count(), 0);

    Q_EMIT icon.activated(QSystemTrayIcon::Trigger);
    Q_EMIT icon.activated(QSystemTrayIcon::Context);
    Q_EMIT icon.activated(QSystemTrayIcon::DoubleClick);
    ASSERT_EQ(up.count(), 3);
    EXPECT_EQ(up.at(0).at(0).toInt(), 1);
    EXPECT_EQ(up.at(1).at(0).toInt(), 2);
    EXPECT_EQ(down.count(), 2);
    EXPECT_EQ(dblClick.count(), 1);
}

TEST(DesktopTray, ANoticeClosesWhenClickedOrWhenItsTimeRunsOut)
{
    DesktopTray tray;
    QSignalSpy closed(&tray, &Tray::noticeClosed);
    tray.setIcon(blueIcon());
    tray.setShown(true);

    tray.showNotice(QStringLiteral("title"), QStringLiteral("text"), 5000ms);
    Q_EMIT const_cast<QSystemTrayIcon &>(tray.icon()).messageClicked();
    EXPECT_EQ(closed.count(), 1);

    tray.showNotice(QStringLiteral("title"), QStringLiteral("text"), 1ms);
    EXPECT_TRUE(closed.wait(5000));
    EXPECT_EQ(closed.count(), 2);
}

} // namespace
} // namespace tidewell
