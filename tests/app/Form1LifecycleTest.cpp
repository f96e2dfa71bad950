#include "../shell/FakeTray.h"

#include "FeedDatabase.h"
#include "Form1.h"
#include "ProgramTitle.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "StartUp.h"
#include "TemporaryHome.h"
#include "cSysTray.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace tidewell {
namespace {

using test::FakeTray;

class Form1Lifecycle : public testing::Test
{
protected:
    void SetUp() override { home.installBlankTemplate(); }

    void load(bool trayAvailable = true)
    {
        form = std::make_unique<Form1>(Form1::Environment{box, home.programFolder(), 1000, [this, trayAvailable] {
                                                              auto fake = std::make_unique<FakeTray>();
                                                              fake->trayAvailable = trayAvailable;
                                                              // The user clicks every balloon away at once.
                                                              fake->onNotice = [raw = fake.get()](
                                                                                   const FakeTray::Notice &) {
                                                                  raw->closeNoticeLater();
                                                              };
                                                              tray = fake.get();
                                                              record = fake->record;
                                                              return fake;
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

    // A feed list of the user's own, so start-up does not fill it from the
    // blank template.
    void storeFeeds(const QStringList &names)
    {
        ASSERT_TRUE(QDir().mkpath(home.dataFolder()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), home.dataFile()));
        QFile::setPermissions(home.dataFile(), QFile::permissions(home.dataFile()) | QFileDevice::WriteOwner);
        FeedStore feeds = test::openFeeds(home.dataFile());
        int minute = 0;
        for (const QString &name : names)
            feeds.insert({name, QString::number(minute += 5), QStringLiteral("x.mp3"), home.path() + QLatin1Char('/'),
                          QStringLiteral("http://127.0.0.1:9/"), true});
    }

    void clickIcon(Qt::MouseButton button = Qt::LeftButton) { tray->click(button); }

    const std::vector<FakeTray::Notice> &balloons() const { return record->notices; }

    qsizetype callsOf(const QString &call) const { return record->calls.count(call); }

    test::TemporaryHome home;
    test::ScriptedMessageBox box;
    FakeTray *tray = nullptr;
    std::shared_ptr<FakeTray::Record> record;
    bool programEnded = false;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Lifecycle, StartUpPutsTheIconInTheTrayWithTheProductAsTip)
{
    load();
    ASSERT_EQ(callsOf(QStringLiteral("shown")), 1);
    EXPECT_TRUE(record->shown);
    EXPECT_EQ(record->tip, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_FALSE(record->icon.isNull());
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
    EXPECT_EQ(balloons()[0].title, QStringLiteral("Tidewell Episode Keeper"));
    EXPECT_EQ(balloons()[0].text,
              QStringLiteral("has been minimized to the system tray.\r\nClick on the blue 'M' icon (M for Marrowby) "
                             "to bring the software back."));

    clickIcon();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->hiddenInTray);
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized) << "it comes back in normal size";

    minimise();
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(balloons().size(), 1u);

    // The right button brings it back just the same; the middle one does not.
    clickIcon(Qt::MiddleButton);
    EXPECT_TRUE(form->isHidden());
    clickIcon(Qt::RightButton);
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

TEST_F(Form1Lifecycle, StartingInTheTrayHidesOnceTheWindowIsShownAndEveryClickBringsItBack)
{
    storeFeeds({QStringLiteral("News"), QStringLiteral("Weather")});
    settings::write(settings::minimized, settings::on);
    load();
    // Scheduling switched on with feeds in the list lets pending events run;
    // the minimise handling must not be among them.
    ASSERT_TRUE(form->schedulingOn());
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(form->hiddenInTray);
    EXPECT_TRUE(balloons().empty());

    form->showAfterLoad();
    EXPECT_TRUE(balloons().empty()) << "the balloon waits for the event loop";
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->hiddenInTray);
    EXPECT_TRUE(form->isHidden());
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized) << "hidden, not minimised";
    EXPECT_EQ(balloons().size(), 1u);

    for (int round = 0; round < 3; ++round) {
        clickIcon();
        QCoreApplication::processEvents();
        ASSERT_TRUE(form->isVisible()) << "round " << round;
        EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
        EXPECT_FALSE(form->hiddenInTray);
        minimise();
        QCoreApplication::processEvents();
        ASSERT_TRUE(form->isHidden());
    }
    EXPECT_EQ(balloons().size(), 1u);
}

TEST_F(Form1Lifecycle, WithoutANotificationAreaAStartInTheTrayStaysMinimised)
{
    settings::write(settings::minimized, settings::on);
    load(false);
    form->showAfterLoad();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(form->hiddenInTray);
}

TEST_F(Form1Lifecycle, AClickOnTheIconLeavesAWindowInViewAsItIs)
{
    load();
    form->showMaximized();
    clickIcon();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(balloons().empty());
}

TEST_F(Form1Lifecycle, TheIconBringsBackTheEditorLeftOpenOverAMinimisedWindow)
{
    load();
    form->show();
    bool checked = false;
    QTimer::singleShot(0, form.get(), [&] {
        QDialog *editor = form->editor().dialog();
        ASSERT_TRUE(editor && editor->isVisible());
        // Modal to the window alone, so the tray icon still takes clicks.
        EXPECT_EQ(editor->windowModality(), Qt::WindowModal);

        // The window manager minimises the editor with its window.
        form->setWindowState(Qt::WindowMinimized);
        editor->setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
        EXPECT_TRUE(form->isHidden());

        clickIcon();
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
        EXPECT_FALSE(editor->windowState() & Qt::WindowMinimized);
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), editor);
        checked = true;
        form->editor().PushButton2_Click();
    });
    form->PushButton1_Click();
    EXPECT_TRUE(checked);
}

TEST_F(Form1Lifecycle, ALaterStartBringsTheWindowForward)
{
    load();
    minimise();
    ASSERT_TRUE(form->isHidden());
    form->comeForward();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->hiddenInTray);
    form->showMaximized();
    form->comeForward();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
}

TEST_F(Form1Lifecycle, TheKeyboardFollowsTheWindowAsItIsSeen)
{
    load();
    form->show();
    QApplication::setActiveWindow(form.get());
    form->ListView1->setFocus();
    QList<QWidget *> visited;
    for (int step = 0; step < 5; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    EXPECT_EQ(visited, (QList<QWidget *>{form->PushButton1, form->PushButton2, form->PushButton6, form->Check3,
                                         form->Check8}));

    // Enter and the keypad's Enter press the focused button.
    const QString before = form->PushButton6->text();
    form->PushButton6->setFocus();
    QTest::keyClick(form->PushButton6, Qt::Key_Return);
    EXPECT_NE(form->PushButton6->text(), before);
    QTest::keyClick(form->PushButton6, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(form->PushButton6->text(), before);
    QTest::keyClick(form->PushButton6, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form->PushButton6->text(), before) << "only a plain Enter presses";
}

TEST_F(Form1Lifecycle, HidingStartInSystemTrayMovesNoButton)
{
    settings::write(settings::windowsStartup, settings::on);
    load();
    form->show();
    QCoreApplication::processEvents();
    const QRect button = form->PushButton1->geometry();
    form->Check3->click();
    ASSERT_TRUE(form->Check8->isHidden());
    form->layout()->activate();
    EXPECT_EQ(form->PushButton1->geometry(), button);
}

TEST_F(Form1Lifecycle, ClosingWhileHiddenTakesTheIconOutAndClosesTheDatabase)
{
    load();
    minimise();
    ASSERT_TRUE(form->dbConn.isOpen());
    form->close();
    EXPECT_TRUE(programEnded);
    EXPECT_EQ(callsOf(QStringLiteral("hidden")), 1);
    EXPECT_FALSE(form->dbConn.isOpen());
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
