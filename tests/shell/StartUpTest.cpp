#include "StartUp.h"
#include "TemporaryHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tidewell {
namespace {

QString makeExecutable(const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    return path;
}

QStringList entryLines(const QString &fileName)
{
    QFile file(autostartEntryPath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString valueOf(const QString &fileName, const QString &key)
{
    for (const QString &line : entryLines(fileName))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return {};
}

QString execLine(const QString &fileName)
{
    return valueOf(fileName, QStringLiteral("Exec"));
}

TEST(StartUpEntry, IsNamedAfterTheExecutableAndStartsItByItsFullPath)
{
    test::TemporaryHome home;
    const QString executable = makeExecutable(home.programFolder(), QStringLiteral("tidewell-episode-keeper"));
    RegisterStartup(executable);

    const QString entry = home.path() + QStringLiteral("/config/autostart/tidewell-episode-keeper.desktop");
    EXPECT_EQ(autostartEntryPath(QStringLiteral("tidewell-episode-keeper")), entry);
    ASSERT_TRUE(QFileInfo(entry).isFile());
    const QStringList lines = entryLines(QStringLiteral("tidewell-episode-keeper"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(), QStringLiteral("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_EQ(execLine(QStringLiteral("tidewell-episode-keeper")), executable);
    // Once the program is gone (the package removed), the session skips the
    // entry instead of failing to start it at every login.
    EXPECT_EQ(valueOf(QStringLiteral("tidewell-episode-keeper"), QStringLiteral("TryExec")), executable);

    UnregisterStartup(executable);
    EXPECT_FALSE(QFileInfo::exists(entry));
}

TEST(StartUpEntry, WithoutAPathItRegistersTheRunningProgram)
{
    test::TemporaryHome home;
    const QFileInfo self(QCoreApplication::applicationFilePath());
    RegisterStartup();
    EXPECT_EQ(execLine(self.fileName()), execValueFor(self.absoluteFilePath()));
    UnregisterStartup();
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath(self.fileName())));
}

TEST(StartUpEntry, QuotesAndEscapesTheExecValueAsDesktopEntriesRequire)
{
    EXPECT_EQ(execValueFor(QStringLiteral("/opt/tidewell/keeper")), QStringLiteral("/opt/tidewell/keeper"));
    EXPECT_EQ(execValueFor(QStringLiteral("/home/ann/My Programs/keeper")),
              QStringLiteral("\"/home/ann/My Programs/keeper\""));
    // Inside quotes $ and " take a backslash, which the string escapes then double.
    EXPECT_EQ(execValueFor(QStringLiteral("/a$b/\"c\"/keeper")), QStringLiteral("\"/a\\\\$b/\\\\\"c\\\\\"/keeper\""));
    EXPECT_EQ(execValueFor(QStringLiteral("/x\\y/keeper")), QStringLiteral("\"/x\\\\\\\\y/keeper\""));
    EXPECT_EQ(execValueFor(QStringLiteral("/100%/keeper")), QStringLiteral("/100%%/keeper"));

    test::TemporaryHome home;
    const QString executable = makeExecutable(home.path() + QStringLiteral("/My Programs"), QStringLiteral("keeper"));
    RegisterStartup(executable);
    EXPECT_EQ(execLine(QStringLiteral("keeper")), QLatin1Char('"') + executable + QLatin1Char('"'));
    // TryExec is a plain path: no quotes, only the string escapes.
    EXPECT_EQ(valueOf(QStringLiteral("keeper"), QStringLiteral("TryExec")), executable);
    AddRunEntry(QStringLiteral("keeper"), QStringLiteral("/x\\y"));
    EXPECT_EQ(valueOf(QStringLiteral("keeper"), QStringLiteral("TryExec")), QStringLiteral("/x\\\\y/keeper"));
}

TEST(StartUpEntry, AFolderEndingInASeparatorIsNotDoubled)
{
    test::TemporaryHome home;
    AddRunEntry(QStringLiteral("keeper"), QStringLiteral("/"));
    EXPECT_EQ(execLine(QStringLiteral("keeper")), QStringLiteral("/keeper"));
}

TEST(StartUpEntry, FollowsTheConfigHomeOrFallsBackToDotConfig)
{
    test::TemporaryHome home;
    const QString executable = makeExecutable(home.programFolder(), QStringLiteral("keeper"));
    const QString elsewhere = home.path() + QStringLiteral("/elsewhere");
    setenv("XDG_CONFIG_HOME", elsewhere.toLocal8Bit().constData(), 1);
    RegisterStartup(executable);
    EXPECT_TRUE(QFileInfo::exists(elsewhere + QStringLiteral("/autostart/keeper.desktop")));

    unsetenv("XDG_CONFIG_HOME");
    RegisterStartup(executable);
    EXPECT_TRUE(QFileInfo::exists(home.path() + QStringLiteral("/.config/autostart/keeper.desktop")));
}

TEST(StartUpEntry, NothingHappensWithoutAnExecutable)
{
    test::TemporaryHome home;
    const QString executable = makeExecutable(home.programFolder(), QStringLiteral("keeper"));
    RegisterStartup(executable);

    RegisterStartup(QString());
    RegisterStartup(home.programFolder() + QStringLiteral("/missing"));
    RegisterStartup(home.programFolder());
    UnregisterStartup(QString());
    UnregisterStartup(home.programFolder() + QStringLiteral("/missing"));
    EXPECT_EQ(QDir(autostartFolder()).entryList(QDir::Files), QStringList{QStringLiteral("keeper.desktop")});

    // Removing twice, or an entry never made, is quiet and touches no other.
    UnregisterStartup(executable);
    UnregisterStartup(executable);
    RemoveRunEntry(QStringLiteral("never-registered"));
    EXPECT_TRUE(QDir(autostartFolder()).entryList(QDir::Files).isEmpty());
}

} // namespace
} // namespace tidewell
