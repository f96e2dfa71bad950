#include "PathHelpers.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(SpecialFolders, MapToTheUsersDataAndDesktopFolders)
{
    test::TemporaryHome home;
    EXPECT_EQ(GetSpecialFolderPath(special::CommonAppData), home.path() + QStringLiteral("/data"));
    EXPECT_EQ(GetSpecialFolderPath(special::Desktop), home.desktop());
    EXPECT_EQ(GetDesktopPath(), home.desktop() + QStringLiteral("/"));
    EXPECT_EQ(GetSpecialFolderPath(26), QString());
    // The data location of a new account is made on first use.
    QDir(home.path() + QStringLiteral("/data")).removeRecursively();
    EXPECT_EQ(GetSpecialFolderPath(special::CommonAppData), home.path() + QStringLiteral("/data"));
    EXPECT_TRUE(QDir(home.path() + QStringLiteral("/data")).exists());
    EXPECT_EQ(GetSpecialFolderPath(-1), QString());
}

TEST(SpecialFolders, TheDefaultFolderIsOneThatExists)
{
    test::TemporaryHome home;
    const QString downloads = home.path() + QStringLiteral("/Downloads");
    EXPECT_FALSE(QDir(downloads).exists());

    // A new account without a desktop folder: its download folder, made now.
    ASSERT_TRUE(QDir(home.desktop()).removeRecursively());
    EXPECT_EQ(GetSpecialFolderPath(special::Desktop), downloads);
    EXPECT_TRUE(QDir(downloads).exists());
    EXPECT_EQ(GetDesktopPath(), downloads + QStringLiteral("/"));
    EXPECT_EQ(DownloadsFolder(), downloads);

    // Neither can be had (a file stands where the download folder would be
    // made): the home folder.
    ASSERT_TRUE(QDir(downloads).removeRecursively());
    writeFile(downloads, "not a folder");
    EXPECT_EQ(GetSpecialFolderPath(special::Desktop), home.path());
    EXPECT_FALSE(IsFolder(DownloadsFolder()));

    // Once the desktop exists it is the default again.
    ASSERT_TRUE(QDir().mkpath(home.desktop()));
    EXPECT_EQ(GetDesktopPath(), home.desktop() + QStringLiteral("/"));
}

TEST(FileTests, ExistenceAndFolders)
{
    test::TemporaryHome home;
    const QString file = home.path() + QStringLiteral("/episode.mp3");
    writeFile(file, "x");
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(home.path()));
    EXPECT_FALSE(FileExists(home.path() + QStringLiteral("/missing")));

    EXPECT_TRUE(IsFolder(home.path()));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(IsFolder(home.path() + QStringLiteral("/missing")));
    EXPECT_FALSE(IsFolder(QString()));
}

TEST(RemoveFile, RemovesPlainAndReadOnlyFilesAndIgnoresMissingOnes)
{
    test::TemporaryHome home;
    const QString plain = home.path() + QStringLiteral("/a.mp3");
    const QString readOnly = home.path() + QStringLiteral("/b.mp3");
    writeFile(plain, "a");
    writeFile(readOnly, "b");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);

    RemoveFile(plain);
    RemoveFile(readOnly);
    RemoveFile(home.path() + QStringLiteral("/missing.mp3"));
    EXPECT_FALSE(QFile::exists(plain));
    EXPECT_FALSE(QFile::exists(readOnly));

    // A folder is never removed by a file removal.
    RemoveFile(home.desktop());
    EXPECT_TRUE(QDir(home.desktop()).exists());
}

} // namespace
} // namespace tidewell
