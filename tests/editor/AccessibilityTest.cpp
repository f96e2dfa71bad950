// What a screen reader is told about the controls of both windows.
#include "MainWindowFixture.h"

#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <set>

namespace tidewell::test {
namespace {

QString nameOf(QObject *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}

QString descriptionOf(QObject *control)
{
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Description);
}

bool isControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::List:
    case QAccessible::ProgressBar:
        return true;
    default:
        return false;
    }
}

// Every control of a window, as the accessibility tree shows it, with the
// name and description a screen reader says; a list's cells are left to
// the checks that look at them.
void expectEveryControlNamedOnceAndDescribed(QWidget *window)
{
    std::set<QString> names;
    int controls = 0;
    const std::function<void(QAccessibleInterface *)> visit = [&](QAccessibleInterface *node) {
        if (isControl(node->role())) {
            ++controls;
            const QString name = node->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << "a control of role " << node->role() << " has no name";
            EXPECT_TRUE(names.insert(name).second) << "two controls are named " << name.toStdString();
            EXPECT_FALSE(node->text(QAccessible::Description).isEmpty()) << name.toStdString() << " is not described";
            return;
        }
        for (int i = 0; i < node->childCount(); ++i)
            visit(node->child(i));
    };
    visit(QAccessible::queryAccessibleInterface(window));
    EXPECT_GE(controls, 5);
}

class Accessibility : public MainWindowTest
{
};

TEST_F(Accessibility, EveryControlOfTheMainWindowAndEveryCountdownCellIsNamedAndDescribed)
{
    load({QStringLiteral("News"), QStringLiteral("Weather")});
    expectEveryControlNamedOnceAndDescribed(form.get());
    EXPECT_EQ(nameOf(form->ListView1), QStringLiteral("Feeds"));
    EXPECT_EQ(nameOf(form->TransferProgress), QStringLiteral("Download progress"));
    EXPECT_EQ(nameOf(form->PushButton6), QStringLiteral("Turn Off"));

    // A countdown cell reads as its text, which changes every second, and is
    // described by what it counts.
    QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(form->ListView1)->tableInterface();
    ASSERT_NE(table, nullptr);
    for (int row = 0; row < form->rowCount(); ++row) {
        QAccessibleInterface *cell = table->cellAt(row, Form1::CountdownColumn);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(QAccessible::Name), form->itemText(row, Form1::CountdownColumn));
        EXPECT_TRUE(cell->text(QAccessible::Description).contains(QStringLiteral("next download")))
            << cell->text(QAccessible::Description).toStdString();
    }

    // The status line reads whole, even when it is drawn cut short.
    const QString failure = QStringLiteral("News failed at 06:00: ") + QString(300, QLatin1Char('x'));
    form->StatusLine->setText(failure);
    EXPECT_EQ(nameOf(form->StatusLine), failure);
    EXPECT_FALSE(descriptionOf(form->StatusLine).isEmpty());
}

TEST_F(Accessibility, EachFieldOfTheEditorIsNamedAfterItsLabelNotAfterTheFrame)
{
    load({QStringLiteral("News")});
    Form2 &editor = form->editor();
    editor.Load(form.get());
    expectEveryControlNamedOnceAndDescribed(editor.dialog());

    EXPECT_EQ(nameOf(editor.Text1), QStringLiteral("Feed Name"));
    EXPECT_EQ(nameOf(editor.Text5), QStringLiteral("Download Minute (Don't Duplicate)"));
    EXPECT_EQ(nameOf(editor.Text2), QStringLiteral("Filename"));
    EXPECT_EQ(nameOf(editor.Text3), QStringLiteral("Folder"));
    EXPECT_EQ(nameOf(editor.Text4), QStringLiteral("URL"));
    EXPECT_EQ(nameOf(editor.ListView1), QStringLiteral("Feeds"));
    EXPECT_EQ(nameOf(editor.PushButton3), QStringLiteral("Choose Folder"));
    // The captions stay as they were; only what is said changes.
    EXPECT_EQ(editor.PushButton3->text(), QStringLiteral("..."));

    // A label is tied to its field, so the desktop can also tell which label
    // belongs to which field.
    QStringList labels;
    for (const auto &relation : QAccessible::queryAccessibleInterface(editor.Text1)->relations(QAccessible::Label))
        labels << relation.first->text(QAccessible::Name);
    EXPECT_TRUE(labels.contains(QStringLiteral("Feed Name:"))) << labels.join(QLatin1Char('|')).toStdString();
    editor.Unload();
}

} // namespace
} // namespace tidewell::test
