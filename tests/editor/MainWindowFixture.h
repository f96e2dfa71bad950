#pragma once

#include "../shell/FakeTray.h"

#include "FeedDatabase.h"
#include "Form1.h"
#include "ScriptedMessageBox.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

namespace tidewell::test {

// The main window on a feed list of the test's own, with a notification
// area the test clicks in.
class MainWindowTest : public testing::Test
{
protected:
    void load(const QStringList &feeds = {})
    {
        home.installBlankTemplate();
        if (!feeds.isEmpty())
            storeFeeds(feeds);
        form = std::make_unique<Form1>(Form1::Environment{box, home.programFolder(), 1000, [this] {
                                                              auto fake = std::make_unique<FakeTray>();
                                                              tray = fake.get();
                                                              return fake;
                                                          },
                                                          [] {}});
        form->Form_Load();
    }

    void clickTrayIcon() { tray->click(Qt::LeftButton); }

    TemporaryHome home;
    ScriptedMessageBox box;
    std::unique_ptr<Form1> form;
    FakeTray *tray = nullptr;

private:
    void storeFeeds(const QStringList &names)
    {
        ASSERT_TRUE(QDir().mkpath(home.dataFolder()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), home.dataFile()));
        QFile::setPermissions(home.dataFile(), QFile::permissions(home.dataFile()) | QFileDevice::WriteOwner);
        FeedStore feeds = openFeeds(home.dataFile());
        int minute = 0;
        for (const QString &name : names)
            feeds.insert({name, QString::number(minute += 5), QStringLiteral("x.mp3"), home.path() + QLatin1Char('/'),
                          QStringLiteral("http://127.0.0.1:9/"), true});
    }
};

} // namespace tidewell::test
