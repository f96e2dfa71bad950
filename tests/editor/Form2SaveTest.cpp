#include "EditorFixture.h"

#include <QDir>

namespace tidewell::test {
namespace {

using Save = EditorTest;

TEST_F(Save, ChecksTheFieldsInOrderAndKeepsThemUntilTheFeedIsStored)
{
    open();
    click(editor.PushButton4);
    click(editor.PushButton6);
    QTest::keyClicks(editor.Text1, QStringLiteral("News"));
    editor.Text2->clear();
    click(editor.PushButton6);
    editor.Text2->setText(QStringLiteral("News.mp3"));
    QFile(home.path() + QStringLiteral("/a file")).open(QIODevice::WriteOnly);
    for (const QString &notAFolder : {home.path() + QStringLiteral("/missing/"), home.path() + QStringLiteral("/a file"),
                                      QString()}) {
        editor.Text3->setText(notAFolder);
        click(editor.PushButton6);
    }
    editor.Text3->setText(folder());
    click(editor.PushButton6);
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/News"));
    editor.Text5->clear();
    click(editor.PushButton6);
    EXPECT_EQ(QApplication::focusWidget(), editor.Text5);
    EXPECT_EQ(fields(), QStringLiteral("News||News.mp3|") + folder() + QStringLiteral("|http://127.0.0.1/News|Yes"));
    EXPECT_TRUE(stored().isEmpty());

    const QString folderMessage = QStringLiteral("Folder does not exist. Please select another folder.");
    EXPECT_EQ(box.prompts(), (QStringList{QStringLiteral("Please enter feed name."),
                                          QStringLiteral("Please enter filename."), folderMessage, folderMessage,
                                          folderMessage, QStringLiteral("Please enter URL."),
                                          QStringLiteral("Must be a numeric entry.")}));
    EXPECT_EQ(box.shown()[0].style, msgbox::OkOnly);

    editor.Text5->setText(QStringLiteral("5"));
    click(editor.PushButton6);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("News"), 5)});
    EXPECT_FALSE(editor.isDirty);
    EXPECT_EQ(editor.oldName, QStringLiteral("News"));
    EXPECT_EQ(box.shown().size(), 7u);
}

TEST_F(Save, ATakenNameOrMinuteIsRefusedOnTwoLines)
{
    store(QStringLiteral("Alpha"), 15);
    open();
    click(editor.PushButton4);
    editor.Text1->setText(QStringLiteral("aLPHA "));
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/other"));
    click(editor.PushButton6);
    editor.Text1->setText(QStringLiteral("Beta"));
    editor.Text5->setText(QStringLiteral("15"));
    click(editor.PushButton6);
    EXPECT_EQ(box.prompts(), (QStringList{QStringLiteral("Feed name already exists.\r\nCould not be added."),
                                          QStringLiteral("15 minute(s) already exists.\r\nCould not be added.")}));
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Alpha"), 15)});
    EXPECT_TRUE(editor.isDirty);
}

TEST_F(Save, ChangesUpdateTheLoadedFeedUnderItsOldName)
{
    store(QStringLiteral("Alpha"), 5);
    store(QStringLiteral("Mu"), 10);
    open();
    editor.Text1->setText(QStringLiteral("Mu "));
    click(editor.PushButton6);
    editor.Text1->setText(QStringLiteral("Alpha"));
    editor.Text5->setText(QStringLiteral("05"));
    click(editor.PushButton6);
    EXPECT_EQ(box.prompts(), (QStringList{QStringLiteral("Feed name already exists.\r\nCould not be added."),
                                          QStringLiteral("05 minute(s) already exists.\r\nCould not be added.")}));

    // The minute as loaded runs no check; a new name and an unticked box
    // are written over the row the fields came from.
    editor.Text5->setText(QStringLiteral("5"));
    editor.Text1->setText(QStringLiteral("Gamma"));
    editor.Check1->click();
    click(editor.PushButton6);
    QStringList gamma = feed(QStringLiteral("Alpha"), 5, false).split(QLatin1Char('|'));
    gamma[0] = QStringLiteral("Gamma");
    EXPECT_EQ(stored(), (QStringList{gamma.join(QLatin1Char('|')), feed(QStringLiteral("Mu"), 10)}));
    EXPECT_EQ(editor.oldName, QStringLiteral("Gamma"));

    // The feed's own name in other letters is not another feed's.
    editor.Text1->setText(QStringLiteral("GAMMA"));
    click(editor.PushButton6);
    EXPECT_EQ(listed(Form2::NameColumn), list("GAMMA,Mu"));
    EXPECT_EQ(box.shown().size(), 2u);
}

TEST_F(Save, ACheckTheDatabaseRefusesIsReportedTwiceAndStopsTheSave)
{
    store(QStringLiteral("Alpha"), 5);
    open();
    runSql(file(), QStringLiteral("alter table [rss] rename to [elsewhere]"));
    editor.Text5->setText(QStringLiteral("6"));
    click(editor.PushButton6);
    click(editor.PushButton1);
    click(editor.PushButton4);
    editor.Text1->setText(QStringLiteral("Beta"));
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/Beta"));
    click(editor.PushButton6);

    const QStringList prompts = box.prompts();
    ASSERT_EQ(prompts.size(), 6) << prompts.join(QLatin1Char('\n')).toStdString();
    const QString refused = QStringLiteral("no such table: rss\r\nin Tidefetch2021/08/31.Form2.PushButton6_Click ");
    const QString closed = QStringLiteral("Operation is not allowed when the object is closed.\r\n"
                                          "in Tidefetch2021/08/31.Form2.PushButton6_Click ");
    EXPECT_TRUE(prompts[0].startsWith(refused + QStringLiteral("at line 124\r\r")));
    EXPECT_TRUE(prompts[1].startsWith(closed + QStringLiteral("at line 126\r\r")));
    EXPECT_EQ(prompts[2], QStringLiteral("6 minute(s) already exists.\r\nCould not be added."));
    EXPECT_TRUE(prompts[3].startsWith(refused + QStringLiteral("at line 114\r\r")));
    EXPECT_TRUE(prompts[4].startsWith(closed + QStringLiteral("at line 116\r\r")));
    EXPECT_EQ(prompts[5], QStringLiteral("Feed name already exists.\r\nCould not be added."));
    EXPECT_TRUE(editor.isDirty);
    EXPECT_EQ(editor.Text1->text(), QStringLiteral("Beta"));
}

TEST_F(Save, AWriteTheDatabaseRefusesIsReportedAndTheTypedFeedStays)
{
    open();
    runSql(file(), QStringLiteral("create trigger refuse before insert on [rss] "
                                  "begin select raise(abort, 'disk full'); end"));
    click(editor.PushButton4);
    editor.Text1->setText(QStringLiteral("News"));
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/News"));
    click(editor.PushButton6);
    ASSERT_EQ(box.shown().size(), 1u) << box.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("disk full\r\nin Tidefetch2021/08/31.Form2.PushButton6_Click at line 134\r\r")));
    EXPECT_EQ(fields(), QStringLiteral("News|5|News.mp3|") + folder() + QStringLiteral("|http://127.0.0.1/News|Yes"));
    EXPECT_TRUE(editor.isDirty);
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(Save, QuotesAreStoredShownAndRemovedAsTyped)
{
    const QString quotedFolder = home.path() + QStringLiteral("/Rock 'n' Roll/");
    ASSERT_TRUE(QDir().mkpath(quotedFolder));
    open();
    click(editor.PushButton4);
    editor.Text1->setText(QStringLiteral("Rock 'n' Roll"));
    editor.Text3->setText(quotedFolder);
    editor.Text4->setText(QStringLiteral("http://127.0.0.1/?q='x'"));
    click(editor.PushButton6);
    const QString typed = QStringLiteral("Rock 'n' Roll|5|Rock 'n' Roll.mp3|") + quotedFolder
        + QStringLiteral("|http://127.0.0.1/?q='x'|Yes");
    EXPECT_EQ(stored(), QStringList{typed});
    EXPECT_EQ(fields(), typed);

    editor.Text5->setText(QStringLiteral("6"));
    click(editor.PushButton6);
    EXPECT_EQ(stored().value(0).section(QLatin1Char('|'), 1, 1), QStringLiteral("6"));
    click(editor.PushButton5);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Are you sure you want to remove Rock 'n' Roll?")});
    EXPECT_TRUE(stored().isEmpty());
}

} // namespace
} // namespace tidewell::test
