#include "../shell/FakeTrayBackend.h"

#include "Form1.h"
#include "ProgramTitle.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "StartUp.h"
#include "TemporaryHome.h"
#include "cSysTray.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace tidewell {
namespace {

using test::FakeTrayBackend;

class Form1Lifecycle : public testing::Test
{
protected:
    void SetUp() override { home.installBlankTemplate(); }

    void load(bool trayAvailable = true)
    {
        form = std::make_unique<Form1>(Form1::Environment{box, home.programFolder(), 1000, [this, trayAvailable] {
                                                              auto backend = std::make_unique<FakeTrayBackend>();
                                                              backend->trayAvailable = trayAvailable;
                                                              // The user clicks every balloon away at once.
                                                              backend->onModify = [raw = backend.get()](
                                                                                      const NotifyIconData &data) {
                                                                  if (data.uFlags & nif::Info
                                                                      && !data.szInfo.isEmpty())
                                                                      raw->deliverLater(trayevent::BalloonClicked);
                                                              };
                                                              tray = backend.get();
                                                              log = backend->log;
                                                              return backend;
                                                          },
                                                          [this] { programEnded = true; }});
        form->Form_Load();
    }

    void minimise()
    {
        form->show();
        form->setWindowState(Qt::WindowMinimized);
        form->Form_Resize();
    }

    std::vector<FakeTrayBackend::Call> balloons() const
    {
        std::vector<FakeTrayBackend::Call> shown;
        for (const auto &call : *log) {
            if (call.message == NotifyMessage::Modify && (call.data.uFlags & nif::Info) && !call.data.szInfo.isEmpty())
                shown.push_back(call);
        }
        return shown;
    }

    std::size_t callsOf(NotifyMessage message) const
    {
        return static_cast<std::size_t>(
            std::count_if(log->begin(), log->end(), [&](const auto &call) { return call.message == message; }));
    }

    test::TemporaryHome home;
    test::ScriptedMessageBox box;
    FakeTrayBackend *tray = nullptr;
    std::shared_ptr<FakeTrayBackend::Log> log;
    bool programEnded = false;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Lifecycle, StartUpPutsTheIconInTheTrayWithTheProductAsTip)
{
    load();
    ASSERT_EQ(callsOf(NotifyMessage::Add), 1u);
    const NotifyIconData &added = log->front().data;
    EXPECT_EQ(added.szTip, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_TRUE(added.uFlags & nif::Icon);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(programTitle(), QStringLiteral("Tidewell Episode"));
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Form1Lifecycle, MinimisingHidesIntoTheTrayWithOneBalloonPerRun)
{
    load();
    minimise();
    EXPECT_TRUE(form->isHidden());
    EXPECT_TRUE(form->hiddenInTray);
    ASSERT_EQ(balloons().size(), 1u);
    EXPECT_EQ(balloons()[0].data.szInfoTitle, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(balloons()[0].data.szInfo,
              QStringLiteral("has been minimized to the system tray.\r\nClick on the blue 'M' icon (M for Marrowby) "
                             "to bring the software back."));

    tray->deliver(trayevent::LeftButtonUp);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->hiddenInTray);
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized) << "it comes back in normal size";

    minimise();
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(balloons().size(), 1u);

    // The right button brings it back just the same; the middle one does not.
    tray->deliver(trayevent::MiddleButtonUp);
    EXPECT_TRUE(form->isHidden());
    tray->deliver(trayevent::RightButtonUp);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Lifecycle, WithoutANotificationAreaTheWindowStaysMinimisedInTheTaskBar)
{
    load(false);
    minimise();
    EXPECT_FALSE(form->isHidden());
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(form->hiddenInTray);
    EXPECT_TRUE(balloons().empty());
}

TEST_F(Form1Lifecycle, StartingInTheTrayHidesAtOnceAndShowsTheBalloon)
{
    settings::write(settings::minimized, settings::on);
    load();
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    form->Form_Resize();
    EXPECT_TRUE(form->hiddenInTray);
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(balloons().size(), 1u);
}

TEST_F(Form1Lifecycle, ClosingWhileHiddenTakesTheIconOutAndClosesTheDatabase)
{
    load();
    minimise();
    ASSERT_EQ(form->dbConn.State(), 1);
    form->close();
    EXPECT_TRUE(programEnded);
    EXPECT_EQ(callsOf(NotifyMessage::Delete), 1u);
    EXPECT_EQ(form->dbConn.State(), 0);
    EXPECT_FALSE(form->cSysTray1->InTray());
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
}

class StartUpOptions : public Form1Lifecycle
{
protected:
    QString entry() const { return autostartEntryPath(QFileInfo(QCoreApplication::applicationFilePath()).fileName()); }
};

TEST_F(StartUpOptions, RestoringTheBoxesAtStartWritesNothing)
{
    settings::write(settings::windowsStartup, settings::on);
    load();
    EXPECT_TRUE(form->Check3->isChecked());
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(form->Check8->isHidden());
}

TEST_F(StartUpOptions, TickingAndUntickingAddAndRemoveTheAutostartEntry)
{
    load();
    form->Check3->click();
    EXPECT_EQ(settings::read(settings::windowsStartup, QString()), settings::on);
    ASSERT_TRUE(QFile::exists(entry())) << entry().toStdString();
    EXPECT_EQ(QFileInfo(entry()).absolutePath(), home.path() + QStringLiteral("/config/autostart"));
    QFile file(entry());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=" + QCoreApplication::applicationFilePath().toUtf8()));

    form->Check8->click();
    EXPECT_EQ(settings::read(settings::minimized, QString()), settings::on);

    form->Check3->click();
    EXPECT_FALSE(form->Check8->isChecked());
    EXPECT_TRUE(form->Check8->isHidden());
    EXPECT_EQ(settings::read(settings::minimized, QString()), settings::off);
    EXPECT_EQ(settings::read(settings::windowsStartup, QString()), settings::off);
    EXPECT_FALSE(QFile::exists(entry()));

    form->Check3->click();
    EXPECT_FALSE(form->Check8->isHidden());
    EXPECT_FALSE(form->Check8->isChecked());
}

} // namespace
} // namespace tidewell
