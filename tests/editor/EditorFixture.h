#pragma once

#include "FeedDatabase.h"
#include "Form2.h"
#include "ScriptedMessageBox.h"
#include "TemporaryHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace tidewell::test {

// Answers the folder chooser for the user and remembers how it was asked.
class ScriptedFolderBrowser : public FolderBrowser
{
public:
    QString BrowseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) override
    {
        asked << title + QLatin1Char('|') + initialFolder;
        askedOwner = owner;
        return answer;
    }

    QString answer;
    QStringList asked;
    QWidget *askedOwner = nullptr;
};

// The editor on a feed database of the test's own, shown and active so that
// clicks and focus changes behave as on a desktop.
class EditorTest : public testing::Test
{
protected:
    EditorTest()
    {
        QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), file());
        QFile::setPermissions(file(), QFile::permissions(file()) | QFileDevice::WriteOwner);
        dbConn.open(file());
        editor.setFolderBrowser(browser);
    }

    QString file() const { return home.path() + QStringLiteral("/feeds.mdb"); }

    QString folder() const { return home.desktop() + QLatin1Char('/'); }

    // A feed as the fixture stores it, in the form fields() and stored() give.
    QString feed(const QString &name, int minute, bool active = true) const
    {
        return QStringList{name, QString::number(minute), name + QStringLiteral(".mp3"), folder(),
                           QStringLiteral("http://127.0.0.1/") + name, yesNo(active)}
            .join(QLatin1Char('|'));
    }

    void store(const QString &name, int minute, bool active = true)
    {
        const QStringList values = feed(name, minute, active).split(QLatin1Char('|'));
        dbConn.insert({values[0], values[1], values[2], values[3], values[4], active});
    }

    QStringList stored() const
    {
        QStringList rows;
        for (const FeedRecord &feed : dbConn.byName()) {
            rows << QStringList{feed.name.toText(),   feed.minute.toText(), feed.filename.toText(),
                                feed.folder.toText(), feed.url.toText(),    yesNo(feed.active.toBool())}
                        .join(QLatin1Char('|'));
        }
        return rows;
    }

    QString fields() const
    {
        return QStringList{editor.Text1->text(), editor.Text5->text(), editor.Text2->text(), editor.Text3->text(),
                           editor.Text4->text(), yesNo(editor.Check1->isChecked())}
            .join(QLatin1Char('|'));
    }

    QStringList listed(Form2::Column column) const
    {
        QStringList texts;
        for (int row = 0; row < editor.rowCount(); ++row)
            texts << editor.itemText(row, column);
        return texts;
    }

    void open()
    {
        editor.Load(nullptr);
        editor.dialog()->show();
        QApplication::setActiveWindow(editor.dialog());
    }

    static void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    void clickRow(int row)
    {
        const QRect cell = editor.ListView1->visualRect(editor.ListItems->index(row, 0));
        QTest::mouseClick(editor.ListView1->viewport(), Qt::LeftButton, {}, cell.center());
    }

    static QStringList list(const char *commaSeparated)
    {
        return QString::fromLatin1(commaSeparated).split(QLatin1Char(','));
    }

    static QString yesNo(bool value) { return value ? QStringLiteral("Yes") : QStringLiteral("No"); }

    TemporaryHome home;
    ScriptedMessageBox box;
    FeedStore dbConn;
    ScriptedFolderBrowser browser;
    Form2 editor{Form2::Environment{box, dbConn, home.programFolder()}};
};

} // namespace tidewell::test
