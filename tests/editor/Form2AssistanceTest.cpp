#include "EditorFixture.h"
#include "MinuteEntry.h"

namespace tidewell::test {
namespace {

using Assistance = EditorTest;

TEST_F(Assistance, APastedUrlNamesANewFeedFromItsHost)
{
    struct Case
    {
        const char *url, *name, *filename;
    };
    const Case cases[] = {
        {"feed://www.example.test/podcast.xml", "example", "example.mp3"},
        {"feed://episodes.example.test/show.rss", "episodes", "episodes.mp3"},
        {"WWW.Example.test/rss", "Example", "Example.mp3"},
        {"feed://localhost/podcast", "localhost/podcast", "localhost/podcast.mp3"},
        {"http://host.test/www.inner.test/x", "inner", "inner.mp3"},
        {"example.test/rss", "", ""},
        {"feed://www.", "", ""},
    };
    open();
    for (const Case &pasted : cases) {
        editor.PushButton1_Click();
        editor.PushButton4_Click();
        editor.Text4->insert(QString::fromLatin1(pasted.url));
        EXPECT_EQ(editor.Text1->text(), QString::fromLatin1(pasted.name)) << pasted.url;
        EXPECT_EQ(editor.Text2->text(), QString::fromLatin1(pasted.filename)) << pasted.url;
        EXPECT_TRUE(editor.isDirty);
    }
}

TEST_F(Assistance, TypingFixesTheDerivedTextsAtTheFirstChance)
{
    open();
    click(editor.PushButton4);
    QTest::keyClicks(editor.Text4, QStringLiteral("feed://www.example.test"));
    EXPECT_EQ(editor.Text1->text(), QStringLiteral("w"));
    EXPECT_EQ(editor.Text2->text(), QStringLiteral("w.mp3"));

    editor.Text1->clear();
    editor.Text2->clear();
    QTest::keyClicks(editor.Text1, QStringLiteral("News"));
    EXPECT_EQ(editor.Text2->text(), QStringLiteral("N.mp3"));
    editor.Text2->clear();
    editor.Text1->clear();
    EXPECT_EQ(editor.Text2->text(), QStringLiteral(".mp3"));
}

TEST_F(Assistance, FilledFieldsAreLeftAlone)
{
    store(QStringLiteral("Alpha"), 5);
    open();
    EXPECT_EQ(fields(), feed(QStringLiteral("Alpha"), 5));
    editor.Text1->end(false);
    QTest::keyClicks(editor.Text1, QStringLiteral("s"));
    editor.Text4->setText(QStringLiteral("feed://www.other.test/"));
    EXPECT_EQ(editor.Text1->text(), QStringLiteral("Alphas"));
    EXPECT_EQ(editor.Text2->text(), QStringLiteral("Alpha.mp3"));
    EXPECT_TRUE(editor.isDirty);
}

TEST(MinuteEntry, AcceptsPlainDecimalNumbersAMinuteCanHold)
{
    for (const char *number : {"5", " 15 ", "-3", "+7", "0", "2.5", "05", "5.", ".5", "32767", "-32768", "32767.4"})
        EXPECT_TRUE(IsNumericMinute(QString::fromLatin1(number))) << number;
    for (const char *other : {"", " ", "abc", "5a", "1e3", "&H10", "$5", "1,000", "0x10", "- 3", "1 5", ".", "-",
                              "32768", "-32769", "32767.5", "99999999999999999999", "５"})
        EXPECT_FALSE(IsNumericMinute(QString::fromUtf8(other))) << other;
}

TEST_F(Assistance, LeavingTheMinuteFieldRefusesANonNumber)
{
    open();
    click(editor.PushButton4);
    const auto leaveMinute = [&](const QString &text, QWidget *towards) {
        editor.Text5->setFocus();
        editor.Text5->setText(text);
        if (towards)
            QTest::mouseClick(towards, Qt::LeftButton);
        else
            QTest::keyClick(editor.Text5, Qt::Key_Tab);
        QCoreApplication::processEvents();
    };
    leaveMinute(QString(), nullptr);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Must be a numeric entry.")});
    EXPECT_EQ(QApplication::focusWidget(), editor.Text5);

    leaveMinute(QStringLiteral(" 15 "), nullptr);
    leaveMinute(QStringLiteral("-3"), editor.Text1);
    EXPECT_EQ(QApplication::focusWidget(), editor.Text1);
    EXPECT_EQ(box.shown().size(), 1u);

    leaveMinute(QStringLiteral("ten"), editor.Text2);
    EXPECT_EQ(box.shown().size(), 2u);
    // Cancel drops the typed minute anyway, so it is let through quietly.
    leaveMinute(QStringLiteral("ten"), editor.PushButton1);
    EXPECT_EQ(box.shown().size(), 2u);
}

TEST_F(Assistance, AButtonPressedFromANonNumberGivesOneMessageAndDoesNothing)
{
    store(QStringLiteral("Alpha"), 5);
    // A message box on screen runs the events that arrive while it is open.
    box.onShow([](const ScriptedMessageBox::Shown &) { QCoreApplication::processEvents(); });
    open();
    const auto pressFromMinute = [&](QPushButton *button) {
        editor.Text5->setFocus();
        editor.Text5->setText(QStringLiteral("ten"));
        click(button);
        QCoreApplication::processEvents();
    };
    pressFromMinute(editor.PushButton6);
    EXPECT_EQ(box.prompts(), QStringList{QStringLiteral("Must be a numeric entry.")});
    EXPECT_EQ(QApplication::focusWidget(), editor.Text5);
    EXPECT_EQ(stored(), QStringList{feed(QStringLiteral("Alpha"), 5)});

    // No folder chooser opens with the message.
    pressFromMinute(editor.PushButton3);
    EXPECT_EQ(box.shown().size(), 2u);
    EXPECT_TRUE(browser.asked.isEmpty());

    // A number lets the press through, and Cancel and Close always go.
    editor.Text5->setText(QStringLiteral("7"));
    editor.Text5->setFocus();
    click(editor.PushButton3);
    QCoreApplication::processEvents();
    EXPECT_EQ(browser.asked.size(), 1);
    pressFromMinute(editor.PushButton1);
    EXPECT_EQ(box.shown().size(), 2u);
    EXPECT_EQ(editor.Text5->text(), QStringLiteral("5"));
}

} // namespace
} // namespace tidewell::test
