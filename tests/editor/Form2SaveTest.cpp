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
