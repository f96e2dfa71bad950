#include "MainWindowFixture.h"

#include "Form2.h"

#include <QDialog>
#include <functional>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tidewell::test {
namespace {

// Runs `inEditor` once the modal editor is up, then closes it as a user would.
void whileEditorOpen(Form1 &form, std::function<void(Form2 &)> inEditor, bool byCloseBox = false)
{
    QTimer::singleShot(0, &form, [&form, inEditor, byCloseBox] {
        Form2 &editor = form.editor();
        EXPECT_TRUE(editor.dialog() && editor.dialog()->isModal());
        inEditor(editor);
        if (byCloseBox)
            editor.dialog()->close();
        else
            editor.PushButton2->click();
    });
    form.PushButton1_Click();
}

TEST(Form1Editor, TheMainListIsFilledAgainWhenTheEditorCloses)
{
    TemporaryHome home;
    home.installBlankTemplate();
    ScriptedMessageBox box;
    Form1 form(Form1::Environment{box, home.programFolder()});
    form.Form_Load();
    ASSERT_EQ(form.rowCount(), 0);

    whileEditorOpen(form, [](Form2 &editor) {
        editor.PushButton4->click();
        QTest::keyClicks(editor.Text1, QStringLiteral("News"));
        editor.Text4->setText(QStringLiteral("http://127.0.0.1/news.xml"));
        editor.PushButton6->click();
    });
    EXPECT_EQ(form.editor().dialog(), nullptr);
    ASSERT_EQ(form.rowCount(), 1);
    EXPECT_EQ(form.itemText(0, Form1::NameColumn), QStringLiteral("News"));
    EXPECT_EQ(form.itemText(0, Form1::CountdownColumn), QStringLiteral("00:05:00"));

    // Changes left unsaved are dropped, and the list is filled anyway.
    whileEditorOpen(
        form, [](Form2 &editor) { QTest::keyClicks(editor.Text1, QStringLiteral("Lost")); }, true);
    EXPECT_EQ(form.itemText(0, Form1::NameColumn), QStringLiteral("News"));
    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QStringLiteral("\n")).toStdString();
}

class EditorAndTray : public MainWindowTest
{
};

TEST_F(EditorAndTray, TheEditorMinimisedOnItsOwnComesBackActiveAtAClickOnTheIcon)
{
    load({QStringLiteral("News")});
    form->show();
    QApplication::setActiveWindow(form.get());
    bool restored = false;
    whileEditorOpen(*form, [&](Form2 &editor) {
        QDialog *dialog = editor.dialog();
        dialog->showMinimized();
        ASSERT_TRUE(dialog->isMinimized());
        // The window stays in view, blocked by the editor no one can see.
        ASSERT_TRUE(form->isVisible() && !form->isMinimized());

        clickTrayIcon();
        EXPECT_FALSE(dialog->isMinimized());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog, 2000));
        EXPECT_EQ(QApplication::activeWindow(), dialog);
        restored = true;
    });
    EXPECT_TRUE(restored);
    EXPECT_FALSE(form->isMinimized());
}

} // namespace
} // namespace tidewell::test
