#include "EditorFixture.h"
#include "Settings.h"

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
    dbConn.Execute(QStringLiteral("update [rss] set [folder]='/elsewhere/'"));
    open();
    click(editor.PushButton7);
    EXPECT_EQ(editor.Text3->text(), folder());
    click(editor.PushButton6);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Alpha"), 5)});

    // Downloads is offered whether or not it exists; the save then says so.
    click(editor.PushButton8);
    EXPECT_EQ(editor.Text3->text(), home.path() + QStringLiteral("/Downloads/"));
    click(editor.PushButton6);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Folder does not exist. Please select another folder.")});
    EXPECT_TRUE(browser.asked.isEmpty());
}

} // namespace
} // namespace tidewell::test
