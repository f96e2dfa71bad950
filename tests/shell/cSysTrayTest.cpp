#include "FakeTrayBackend.h"
#include "RuntimeError.h"
#include "SystemTrayBackend.h"
#include "cSysTray.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

using test::FakeTrayBackend;

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
        auto backend = std::make_unique<FakeTrayBackend>();
        fake = backend.get();
        log = fake->log;
        tray = std::make_unique<cSysTray>(std::move(backend));
    }

    std::size_t callCount() const { return log->size(); }
    const FakeTrayBackend::Call &lastCall() const { return log->back(); }

    FakeTrayBackend *fake = nullptr;
    std::shared_ptr<FakeTrayBackend::Log> log;
    std::unique_ptr<cSysTray> tray;
};

TEST_F(TrayTest, InTrayChangesOnlyWhenTheValueChanges)
{
    QSignalSpy changed(tray.get(), &cSysTray::PropertyChanged);
    tray->setInTray(false);
    EXPECT_EQ(callCount(), 0u);
    EXPECT_EQ(changed.count(), 0);

    tray->setInTray(true);
    tray->setInTray(true);
    ASSERT_EQ(callCount(), 1u);
    EXPECT_EQ(lastCall().message, NotifyMessage::Add);
    EXPECT_EQ(changed.count(), 1);

    tray->setInTray(false);
    tray->setInTray(false);
    ASSERT_EQ(callCount(), 2u);
    EXPECT_EQ(lastCall().message, NotifyMessage::Delete);
    EXPECT_EQ(lastCall().data.uID, 0u);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toString(), QStringLiteral("InTray"));
}

TEST_F(TrayTest, AddCarriesOnlyTheFieldsThatHaveValues)
{
    tray->setTrayTip(QString());
    tray->setInTray(true);
    ASSERT_EQ(callCount(), 1u);
    EXPECT_EQ(lastCall().data.uFlags, nif::Message);
    EXPECT_EQ(lastCall().data.uCallbackMessage, 1125u);
    EXPECT_TRUE(lastCall().data.hIcon.isNull());

    tray->setInTray(false);
    tray->setTrayIcon(blueIcon());
    tray->setTrayTip(QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(callCount(), 2u) << "changes out of the tray are only stored";
    tray->setInTray(true);
    EXPECT_EQ(lastCall().data.uFlags, nif::Message | nif::Icon | nif::Tip);
    EXPECT_EQ(lastCall().data.szTip, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(lastCall().data.hIcon.cacheKey(), tray->TrayIcon().cacheKey());
}

TEST_F(TrayTest, TipAndIconChangesInTheTrayGoToTheShell)
{
    tray->setInTray(true);
    tray->setTrayTip(QStringLiteral("new tip"));
    EXPECT_EQ(lastCall().message, NotifyMessage::Modify);
    EXPECT_EQ(lastCall().data.uFlags, nif::Tip);
    EXPECT_EQ(lastCall().data.szTip, QStringLiteral("new tip"));

    const QIcon icon = blueIcon();
    tray->setTrayIcon(icon);
    EXPECT_EQ(lastCall().data.uFlags, nif::Icon);
    EXPECT_EQ(lastCall().data.hIcon.cacheKey(), icon.cacheKey());

    // A null picture is ignored without a call and keeps the old icon.
    const std::size_t before = callCount();
    tray->setTrayIcon(QIcon());
    EXPECT_EQ(callCount(), before);
    EXPECT_EQ(tray->TrayIcon().cacheKey(), icon.cacheKey());
}

TEST_F(TrayTest, TextsAreCutToTheirFieldSizes)
{
    const QString tip(200, QLatin1Char('t'));
    tray->setTrayTip(tip);
    tray->setInTray(true);
    EXPECT_EQ(lastCall().data.szTip, tip.left(127));
    EXPECT_EQ(tray->TrayTip(), tip) << "the property keeps the whole text";

    tray->ShowBalloon(QString(300, QLatin1Char('b')), QString(100, QLatin1Char('h')), 0, false);
    EXPECT_EQ(lastCall().data.szInfo.size(), 255);
    EXPECT_EQ(lastCall().data.szInfoTitle.size(), 63);

    // A character outside the basic plane is kept whole or not at all.
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
    EXPECT_EQ(fitField(QString(126, QLatin1Char('a')) + clef, NotifyIconData::TipSize), QString(126, QLatin1Char('a')));
}

TEST_F(TrayTest, NotificationsBecomeEventsWhileTheIconIsInTheTray)
{
    QSignalSpy move(tray.get(), &cSysTray::MouseMove);
    QSignalSpy down(tray.get(), &cSysTray::MouseDown);
    QSignalSpy up(tray.get(), &cSysTray::MouseUp);
    QSignalSpy dblClick(tray.get(), &cSysTray::MouseDblClick);
    tray->setInTray(true);

    for (quint32 eventNumber = 512; eventNumber <= 518; ++eventNumber)
        fake->deliver(eventNumber);
    EXPECT_EQ(move.count(), 1);
    ASSERT_EQ(down.count(), 2);
    EXPECT_EQ(down.at(0).at(0).toInt(), 1);
    EXPECT_EQ(down.at(1).at(0).toInt(), 2);
    ASSERT_EQ(up.count(), 2);
    EXPECT_EQ(up.at(0).at(0).toInt(), 1);
    EXPECT_EQ(up.at(1).at(0).toInt(), 2);
    EXPECT_EQ(up.at(1).at(1).toInt(), 0);
    ASSERT_EQ(dblClick.count(), 2);
    EXPECT_EQ(dblClick.at(1).at(0).toInt(), 2);

    tray->setInTray(false);
    fake->deliver(trayevent::LeftButtonUp);
    EXPECT_EQ(up.count(), 2) << "the hook goes with the icon";
}

TEST_F(TrayTest, ClicksOnTheDesktopIconRaiseTheMatchingEvents)
{
    QSignalSpy down(tray.get(), &cSysTray::MouseDown);
    QSignalSpy up(tray.get(), &cSysTray::MouseUp);
    QSignalSpy dblClick(tray.get(), &cSysTray::MouseDblClick);
    QSignalSpy move(tray.get(), &cSysTray::MouseMove);
    tray->setInTray(true);
    const auto click = [&](QSystemTrayIcon::ActivationReason reason) {
        for (const quint32 eventNumber : trayEventsFor(reason))
            fake->deliver(eventNumber);
    };

    click(QSystemTrayIcon::MiddleClick);
    click(QSystemTrayIcon::Unknown);
    EXPECT_EQ(down.count() + up.count() + dblClick.count() + move.count(), 0);

    click(QSystemTrayIcon::Trigger);
    click(QSystemTrayIcon::Context);
    click(QSystemTrayIcon::DoubleClick);
    ASSERT_EQ(up.count(), 3);
    EXPECT_EQ(up.at(0).at(0).toInt(), 1);
    EXPECT_EQ(up.at(1).at(0).toInt(), 2);
    EXPECT_EQ(down.count(), 2);
    EXPECT_EQ(dblClick.count(), 1);
}

TEST_F(TrayTest, ShowOnceShowsOneBalloonPerInstance)
{
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, true);
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, true);
    EXPECT_EQ(fake->callsOf(NotifyMessage::Modify).size(), 1u);
    EXPECT_EQ(tray->OnceBalloonCount(), 1);

    tray->ShowBalloon(QStringLiteral("again"), QStringLiteral("title"), 0, false);
    tray->ShowBalloon(QStringLiteral("again"), QStringLiteral("title"), 0, false);
    EXPECT_EQ(fake->callsOf(NotifyMessage::Modify).size(), 3u);
    EXPECT_EQ(tray->OnceBalloonCount(), 1);
}

TEST_F(TrayTest, ZeroSecondsLeavesTheBalloonToTheShell)
{
    // Nothing would end a wait here, so returning proves there was none.
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 0, false);
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), -3, false);
    const auto modifies = fake->callsOf(NotifyMessage::Modify);
    ASSERT_EQ(modifies.size(), 2u);
    for (const auto &call : modifies) {
        EXPECT_EQ(call.data.uFlags, nif::Info);
        EXPECT_EQ(call.data.uTimeout, 0u);
        EXPECT_EQ(call.data.szInfo, QStringLiteral("text"));
        EXPECT_EQ(call.data.szInfoTitle, QStringLiteral("title"));
    }
    EXPECT_TRUE(tray->BalloonShowing());
}

class BalloonClosedByShell : public TrayTest, public ::testing::WithParamInterface<quint32>
{
};

TEST_P(BalloonClosedByShell, EndsTheWaitWithoutARemoval)
{
    tray->setInTray(true);
    fake->onModify = [this](const NotifyIconData &) { fake->deliverLater(GetParam()); };
    QElapsedTimer elapsed;
    elapsed.start();
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 5, true);
    EXPECT_LT(elapsed.elapsed(), 4000);

    const auto modifies = fake->callsOf(NotifyMessage::Modify);
    ASSERT_EQ(modifies.size(), 1u);
    EXPECT_EQ(modifies.front().data.uTimeout, 5000u);
    EXPECT_FALSE(tray->BalloonShowing());
}

INSTANTIATE_TEST_SUITE_P(TimedOutOrClicked, BalloonClosedByShell,
                         ::testing::Values(trayevent::BalloonTimedOut, trayevent::BalloonClicked));

TEST_F(TrayTest, ABalloonStillUpAtTheEndOfTheWaitIsRemoved)
{
    tray->setInTray(true);
    tray->setSecondLength(std::chrono::milliseconds(1));
    bool otherHandlerRan = false;
    QTimer::singleShot(0, [&] { otherHandlerRan = true; });

    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 3, false);
    EXPECT_TRUE(otherHandlerRan) << "the wait lets the program run";
    const auto modifies = fake->callsOf(NotifyMessage::Modify);
    ASSERT_EQ(modifies.size(), 2u);
    EXPECT_EQ(modifies[0].data.uTimeout, 3000u);
    const NotifyIconData &removal = modifies[1].data;
    EXPECT_EQ(removal.uFlags, nif::Info);
    EXPECT_TRUE(removal.szInfo.isEmpty());
    EXPECT_TRUE(removal.szInfoTitle.isEmpty());
    EXPECT_EQ(removal.uTimeout, 0u);
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
    EXPECT_EQ(callCount(), 0u);
    EXPECT_EQ(tray->OnceBalloonCount(), 0);
    EXPECT_FALSE(tray->BalloonShowing());

    // The largest time-out that fits is shown.
    tray->setInTray(true);
    fake->onModify = [this](const NotifyIconData &) { fake->deliverLater(trayevent::BalloonClicked); };
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 2147483, true);
    EXPECT_EQ(lastCall().data.uTimeout, 2147483000u);
}

TEST_F(TrayTest, TheHostMayDestroyTheControlDuringTheBalloonWait)
{
    tray->setInTray(true);
    QTimer::singleShot(0, [this] { tray.reset(); });
    tray->ShowBalloon(QStringLiteral("text"), QStringLiteral("title"), 5, false);
    ASSERT_EQ(log->size(), 3u);
    EXPECT_EQ(log->back().message, NotifyMessage::Delete);
}

TEST_F(TrayTest, DestroyingTheControlRemovesTheIcon)
{
    tray->setInTray(true);
    tray.reset();
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ(log->back().message, NotifyMessage::Delete);
}

TEST_F(TrayTest, SavedPropertiesAreAppliedInOrderWithDefaults)
{
    tray->ReadProperties({});
    EXPECT_FALSE(tray->InTray());
    EXPECT_EQ(tray->TrayTip(), QStringLiteral("Telnet Server"));
    EXPECT_EQ(callCount(), 0u);

    const QIcon icon = blueIcon();
    tray->ReadProperties({{QStringLiteral("InTray"), true},
                          {QStringLiteral("TrayIcon"), icon},
                          {QStringLiteral("TrayTip"), QStringLiteral("saved tip")}});
    ASSERT_EQ(callCount(), 3u);
    EXPECT_EQ((*log)[0].message, NotifyMessage::Add);
    EXPECT_EQ((*log)[1].data.uFlags, nif::Icon);
    EXPECT_EQ((*log)[2].data.szTip, QStringLiteral("saved tip"));

    const QVariantMap saved = tray->WriteProperties();
    EXPECT_EQ(saved.size(), 3);
    EXPECT_TRUE(saved.value(QStringLiteral("InTray")).toBool());
    EXPECT_EQ(saved.value(QStringLiteral("TrayTip")).toString(), QStringLiteral("saved tip"));
}

TEST(SystemTrayBackend, AddChangeAndRemoveReachTheDesktopIcon)
{
    SystemTrayBackend backend;
    NotifyIconData data;
    data.uFlags = nif::Tip;
    data.setTip(QStringLiteral("tip"));
    EXPECT_FALSE(backend.Shell_NotifyIcon(NotifyMessage::Modify, data)) << "nothing to change before an add";
    EXPECT_TRUE(backend.trayIcon().toolTip().isEmpty());

    data.uFlags = nif::Message | nif::Icon | nif::Tip;
    data.uCallbackMessage = cSysTray::CallbackMessage;
    data.hIcon = blueIcon();
    EXPECT_TRUE(backend.Shell_NotifyIcon(NotifyMessage::Add, data));
    EXPECT_EQ(backend.trayIcon().toolTip(), QStringLiteral("tip"));
    EXPECT_FALSE(backend.trayIcon().icon().isNull());

    std::vector<quint32> received;
    backend.setWindowProc([&](quint32 message, quint32, quint32 eventNumber) {
        EXPECT_EQ(message, cSysTray::CallbackMessage);
        received.push_back(eventNumber);
    });
    Q_EMIT const_cast<QSystemTrayIcon &>(backend.trayIcon()).messageClicked();
    EXPECT_EQ(received, std::vector<quint32>{trayevent::BalloonClicked});

    EXPECT_TRUE(backend.Shell_NotifyIcon(NotifyMessage::Delete, {}));
    EXPECT_FALSE(backend.trayIcon().isVisible());
    Q_EMIT const_cast<QSystemTrayIcon &>(backend.trayIcon()).messageClicked();
    EXPECT_EQ(received.size(), 1u) << "a removed icon reports nothing";
}

} // namespace
} // namespace tidewell
