#include "EditorFixture.h"

namespace tidewell::test {
namespace {

using Editor = EditorTest;

TEST_F(Editor, LaysOutTheListColumnsTabOrderAndWindow)
{
    open();
    EXPECT_EQ(editor.dialog()->windowTitle(), QStringLiteral("Add / Remove Feeds"));
    EXPECT_FALSE(editor.dialog()->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    QStringList headers;
    for (int column = 0; column < 6; ++column)
        headers << editor.ListItems->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(headers, list("Name,Minute,Filename,Folder,URL,Active"));

    QStringList order;
    for (QWidget *at = editor.Text1; order.size() < 15; at = at->nextInFocusChain()) {
        if (at->focusPolicy() & Qt::TabFocus) {
            const auto *button = qobject_cast<QPushButton *>(at);
            order << (button ? button->text() : QString::fromLatin1(at->metaObject()->className()));
        }
    }
    EXPECT_EQ(order, list("QLineEdit,QLineEdit,QCheckBox,QLineEdit,QLineEdit,...,QLineEdit,QTreeView,Close,"
                          "New Feed,Remove Feed,Save Changes,Cancel,Desktop,Downloads"));
    EXPECT_EQ(QApplication::focusWidget(), editor.Text1);
}

TEST_F(Editor, EnterPressesTheFocusedButtonAndNoOther)
{
    store(QStringLiteral("Alpha"), 5);
    open();
    QTest::keyClick(editor.Text1, Qt::Key_Return);
    EXPECT_FALSE(editor.isDirty) << "Enter in a field presses nothing";

    editor.PushButton4->setFocus();
    QTest::keyClick(editor.PushButton4, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(editor.isDirty);
    EXPECT_TRUE(editor.oldName.isEmpty()) << "New Feed was pressed";

    editor.PushButton2->setFocus();
    QTest::keyClick(editor.PushButton2, Qt::Key_Return);
    EXPECT_FALSE(editor.dialog()->isVisible()) << "Close was pressed";
}

TEST_F(Editor, ACursorFileThatIsNoCursorIsReportedWhenTheEditorOpens)
{
    QFile cursor(home.programFolder() + QStringLiteral("/HAND-M.CUR"));
    ASSERT_TRUE(cursor.open(QIODevice::WriteOnly));
    cursor.write("not a cursor");
    cursor.close();
    open();
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid picture\r\nin Tidefetch2021/08/31.Form2.Form_Load at line 106\r\r")));
    EXPECT_EQ(editor.rowCount(), 0);
    EXPECT_EQ(editor.ListItems->columnCount(), 6) << "the opening goes on";
}

TEST_F(Editor, OpensOnTheFirstFeedByNameWithNothingToSave)
{
    store(QStringLiteral("Zeta"), 30);
    store(QStringLiteral("Alpha"), 5);
    store(QStringLiteral("Mu"), 15, false);
    open();
    EXPECT_EQ(listed(Form2::NameColumn), list("Alpha,Mu,Zeta"));
    EXPECT_EQ(listed(Form2::ActiveColumn), list("Yes,No,Yes"));
    EXPECT_EQ(fields(), feed(QStringLiteral("Alpha"), 5));
    EXPECT_EQ(editor.oldName, QStringLiteral("Alpha"));
    EXPECT_EQ(editor.oldMinute, QStringLiteral("5"));
    EXPECT_FALSE(editor.isDirty);

    const QStringList before = stored();
    click(editor.PushButton6);
    EXPECT_TRUE(box.shown().empty());
    EXPECT_EQ(stored(), before);

    // A click on a row loads it and drops the edits without a question;
    // "No" loads the box unticked.
    QTest::keyClicks(editor.Text1, QStringLiteral("xyz"));
    clickRow(1);
    EXPECT_EQ(fields(), feed(QStringLiteral("Mu"), 15, false));
    EXPECT_FALSE(editor.isDirty);
    QTest::keyClick(editor.ListView1, Qt::Key_Down);
    EXPECT_EQ(editor.oldName, QStringLiteral("Zeta"));
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(Editor, NewFeedActsOnlyWithoutUnsavedChanges)
{
    store(QStringLiteral("Alpha"), 5, false);
    open();
    QTest::keyClicks(editor.Text4, QStringLiteral("/x"));
    click(editor.PushButton4);
    EXPECT_EQ(editor.Text1->text(), QStringLiteral("Alpha"));

    click(editor.PushButton1);
    EXPECT_EQ(fields(), feed(QStringLiteral("Alpha"), 5, false));
    click(editor.PushButton4);
    EXPECT_EQ(fields(), QStringLiteral("|5||") + folder() + QStringLiteral("||Yes"));
    EXPECT_TRUE(editor.oldName.isEmpty() && editor.oldMinute.isEmpty() && editor.isDirty);
    EXPECT_EQ(QApplication::focusWidget(), editor.Text1);

    QTest::keyClicks(editor.Text1, QStringLiteral("Y"));
    click(editor.PushButton4);
    EXPECT_EQ(fields(), QStringLiteral("Y|5|Y.mp3|") + folder() + QStringLiteral("||Yes"));
}

TEST_F(Editor, RemoveFeedAsksAndTheLastRemovalLeavesANewFeed)
{
    store(QStringLiteral("Alpha"), 5);
    store(QStringLiteral("Mu"), 15);
    open();
    QTest::keyClicks(editor.Text2, QStringLiteral("x"));
    click(editor.PushButton5);
    EXPECT_TRUE(box.shown().empty());

    click(editor.PushButton1);
    box.answerNext(msgbox::No);
    click(editor.PushButton5);
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_EQ(box.shown()[0].prompt, QStringLiteral("Are you sure you want to remove Alpha?"));
    EXPECT_EQ(box.shown()[0].style, msgbox::YesNo);
    EXPECT_EQ(stored().size(), 2);

    click(editor.PushButton5);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Mu"), 15)});
    EXPECT_EQ(fields(), feed(QStringLiteral("Mu"), 15));

    // The removed feed stays in the fields, but as a new feed: saving it
    // puts it back instead of updating a row that is gone.
    click(editor.PushButton5);
    EXPECT_EQ(editor.rowCount(), 0);
    EXPECT_EQ(fields(), feed(QStringLiteral("Mu"), 15));
    EXPECT_TRUE(editor.oldName.isEmpty() && editor.oldMinute.isEmpty());
    QTest::keyClick(editor.Text5, Qt::Key_0);
    click(editor.PushButton6);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Mu"), 150)});
}

TEST_F(Editor, StateOutlivesTheControlsAndCloseWritesNothing)
{
    store(QStringLiteral("Alpha"), 5);
    open();
    QTest::keyClicks(editor.Text1, QStringLiteral("Changed"));
    click(editor.PushButton2);
    EXPECT_FALSE(editor.dialog()->isVisible());
    editor.Unload();
    EXPECT_EQ(editor.Text1, nullptr);
    EXPECT_TRUE(editor.isDirty);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Alpha"), 5)});

    dbConn.remove(QStringLiteral("Alpha"));
    open();
    EXPECT_FALSE(editor.isDirty);
    EXPECT_TRUE(editor.oldName.isEmpty());
    EXPECT_EQ(fields(), QStringLiteral("|||||No"));
}

TEST_F(Editor, NullFieldsAreReportedAndLeaveTheirColumnEmpty)
{
    runSql(file(), QStringLiteral("insert into [rss] values ('Gap',5,NULL,'/p/','http://x',NULL)"));
    open();
    ASSERT_EQ(box.shown().size(), 2u);
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form2.listPodCast at line 112\r\r")));
    EXPECT_TRUE(box.shown()[1].prompt.contains(QStringLiteral("Form2.listPodCast at line 118\r\r")));
    EXPECT_EQ(fields(), QStringLiteral("Gap|5||/p/|http://x|No"));
}

} // namespace
} // namespace tidewell::test
