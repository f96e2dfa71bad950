#include "EditorFixture.h"
#include "Settings.h"

#include <QDir>

namespace tidewell::test {
namespace {

using Folders = EditorTest;

TEST_F(Folders, BrowsingFillsTheFieldWithASeparatorAndRemembersTheChoice)
{
    store(QStringLiteral("Alpha"), 5);
    open();
    click(editor.PushButton3);
    EXPECT_EQ(browser.asked, QStringList{QStringLiteral("Select Folder|")});
    EXPECT_EQ(browser.askedOwner, editor.dialog());
    EXPECT_EQ(editor.Text3->text(), folder());
    EXPECT_FALSE(editor.isDirty);
    EXPECT_TRUE(settings::read(settings::lastFolderDot, QString()).isEmpty());

    browser.answer = home.path() + QStringLiteral("/Podcasts");
    click(editor.PushButton3);
    EXPECT_EQ(editor.Text3->text(), browser.answer + QLatin1Char('/'));
    EXPECT_EQ(settings::read(settings::lastFolderDot, QString()), browser.answer);
    EXPECT_TRUE(editor.isDirty);

    browser.answer = QStringLiteral("/");
    click(editor.PushButton3);
    EXPECT_EQ(editor.Text3->text(), QStringLiteral("/"));
}

TEST_F(Folders, DesktopAndDownloadsNeedNoBrowsing)
{
    store(QStringLiteral("Alpha"), 5);
    dbConn.pointFoldersAt(QStringLiteral("/elsewhere/"));
    open();
    click(editor.PushButton7);
    EXPECT_EQ(editor.Text3->text(), folder());
    click(editor.PushButton6);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Alpha"), 5)});

    // Downloads is made when it is missing, so the feed saves at once.
    const QString downloads = home.path() + QStringLiteral("/Downloads");
    click(editor.PushButton8);
    EXPECT_EQ(editor.Text3->text(), downloads + QLatin1Char('/'));
    EXPECT_TRUE(QDir(downloads).exists());
    click(editor.PushButton6);
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(stored().first().section(QLatin1Char('|'), 3, 3), downloads + QLatin1Char('/'));
    EXPECT_TRUE(browser.asked.isEmpty());

    // One that cannot be made is offered all the same; the save says so.
    ASSERT_TRUE(QDir(downloads).removeRecursively());
    QFile blocker(downloads);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    click(editor.PushButton7);
    click(editor.PushButton8);
    EXPECT_EQ(editor.Text3->text(), downloads + QLatin1Char('/'));
    click(editor.PushButton6);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Folder does not exist. Please select another folder.")});
}

TEST_F(Folders, ANewUserWithoutADesktopFolderCanSaveANewFeedAtOnce)
{
    ASSERT_TRUE(QDir(home.desktop()).removeRecursively());
    open();
    click(editor.PushButton4);
    const QString downloads = home.path() + QStringLiteral("/Downloads/");
    EXPECT_EQ(editor.Text3->text(), downloads);
    QTest::keyClicks(editor.Text1, QStringLiteral("News"));
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/news.xml"));
    click(editor.PushButton6);
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored().first().section(QLatin1Char('|'), 3, 3), downloads);

    // "Desktop" gives the same existing folder.
    click(editor.PushButton7);
    EXPECT_EQ(editor.Text3->text(), downloads);
}

} // namespace
} // namespace tidewell::test
