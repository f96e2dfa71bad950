#include "FeedDatabase.h"
#include "Form1.h"
#include "ScriptedMessageBox.h"
#include "Settings.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QCheckBox>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace tidewell {
namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Form1Startup : public testing::Test
{
protected:
    // A template beside the "executable" holding the given insert statements.
    void makeTemplate(const QString &fileName, const QStringList &inserts)
    {
        const QString path = home.programFolder() + QLatin1Char('/') + fileName;
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), path));
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
        for (const QString &insert : inserts)
            test::runSql(path, insert);
    }

    static QString feed(const QString &name, int minute, const QString &folder = QStringLiteral("/pods/"),
                        bool active = true)
    {
        return QStringLiteral("insert into [rss] values ('%1',%2,'%1.mp3','%3','http://127.0.0.1/%1',%4)")
            .arg(QString(name).replace(QLatin1Char('\''), QStringLiteral("''")))
            .arg(minute)
            .arg(folder, active ? QStringLiteral("True") : QStringLiteral("False"));
    }

    Form1 &load()
    {
        form = std::make_unique<Form1>(Form1::Environment{box, home.programFolder()});
        form->Form_Load();
        return *form;
    }

    QStringList column(Form1::Column which) const
    {
        QStringList texts;
        for (int row = 0; row < form->rowCount(); ++row)
            texts << form->itemText(row, which);
        return texts;
    }

    QStringList storedFolders() const
    {
        QStringList folders;
        for (const FeedRecord &feed : form->dbConn.byMinute())
            folders << feed.folder.toText();
        return folders;
    }

    test::TemporaryHome home;
    test::ScriptedMessageBox box;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Startup, FirstStartFromTheBlankTemplatePointsFeedsAtTheDesktopOnce)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"),
                 {feed(QStringLiteral("Weekly"), 120), feed(QStringLiteral("Rock 'n' Roll"), 5),
                  feed(QStringLiteral("Daily"), 30, QStringLiteral("/elsewhere/"), false)});
    load();

    EXPECT_TRUE(box.shown().empty()) << box.prompts().join(QStringLiteral("\n---\n")).toStdString();
    EXPECT_TRUE(QDir(home.dataFolder()).exists());
    EXPECT_TRUE(QFile::exists(home.dataFile()));
    EXPECT_FALSE(form->newDatabase);
    EXPECT_EQ(column(Form1::NameColumn),
              (QStringList{QStringLiteral("Rock 'n' Roll"), QStringLiteral("Daily"), QStringLiteral("Weekly")}));
    EXPECT_EQ(column(Form1::CountdownColumn),
              (QStringList{QStringLiteral("00:05:00"), QStringLiteral("00:30:00"), QStringLiteral("02:00:00")}));
    EXPECT_EQ(column(Form1::ActiveColumn),
              (QStringList{QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Yes")}));
    EXPECT_EQ(form->ListItems->item(2, Form1::NameColumn)->data(Form1::MinuteRole).toInt(), 120);

    const QString desktop = home.desktop() + QLatin1Char('/');
    EXPECT_EQ(storedFolders(), QStringList(3, desktop));

    // A folder the user sets afterwards survives later fillings.
    test::runSql(home.dataFile(), QStringLiteral("update [rss] set [folder]='/mine/' where [minute]=30"));
    form->listPodCast();
    EXPECT_EQ(storedFolders(), (QStringList{desktop, QStringLiteral("/mine/"), desktop}));
    EXPECT_EQ(readAll(home.programFolder() + QStringLiteral("/dbBlank.mdb")).size() > 0, true);
}

TEST_F(Form1Startup, APreparedDatabaseIsCopiedUnchanged)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {feed(QStringLiteral("Blank"), 1)});
    makeTemplate(QStringLiteral("dbPodcast.mdb"), {feed(QStringLiteral("Prepared"), 15, QStringLiteral("/pods/"))});
    const QByteArray prepared = readAll(home.programFolder() + QStringLiteral("/dbPodcast.mdb"));
    load();

    EXPECT_TRUE(box.shown().empty());
    EXPECT_EQ(column(Form1::NameColumn), QStringList{QStringLiteral("Prepared")});
    EXPECT_EQ(storedFolders(), QStringList{QStringLiteral("/pods/")});
    form.reset();
    EXPECT_EQ(readAll(home.dataFile()), prepared);
}

TEST_F(Form1Startup, ASecondStartUsesTheExistingDatabaseAndCopiesNothing)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {feed(QStringLiteral("First"), 5)});
    load();
    form->dbConn.pointFoldersAt(QStringLiteral("/kept/"));
    form.reset();
    const QByteArray live = readAll(home.dataFile());

    makeTemplate(QStringLiteral("dbBlank.mdb"), {feed(QStringLiteral("Changed"), 7)});
    makeTemplate(QStringLiteral("dbPodcast.mdb"), {feed(QStringLiteral("Prepared"), 9)});
    load();
    EXPECT_TRUE(box.shown().empty());
    EXPECT_EQ(column(Form1::NameColumn), QStringList{QStringLiteral("First")});
    EXPECT_EQ(storedFolders(), QStringList{QStringLiteral("/kept/")});
    form.reset();
    EXPECT_EQ(readAll(home.dataFile()), live);
}

TEST_F(Form1Startup, ExistingDataFoldersAreUsedWithoutError)
{
    ASSERT_TRUE(QDir().mkpath(home.dataFolder()));
    makeTemplate(QStringLiteral("dbBlank.mdb"), {});
    load();
    EXPECT_TRUE(box.shown().empty());
    EXPECT_TRUE(QFile::exists(home.dataFile()));
    EXPECT_EQ(form->rowCount(), 0);
}

TEST_F(Form1Startup, ADatabaseThatCannotBeOpenedIsReportedAndStartUpGoesOn)
{
    ASSERT_TRUE(QDir().mkpath(home.dataFolder()));
    QFile garbage(home.dataFile());
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, '\x7f'));
    garbage.close();
    load();

    ASSERT_EQ(box.shown().size(), 2u) << box.prompts().join(QStringLiteral("\n---\n")).toStdString();
    const QString first = box.shown()[0].prompt;
    EXPECT_TRUE(first.contains(QStringLiteral("\r\nin Tidefetch2021/08/31.Form1.Form_Load at line 152\r\r"
                                              "Please email screenshot of this message to ")));
    EXPECT_EQ(box.shown()[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(box.shown()[1].prompt.contains(QStringLiteral("Form1.listPodCast at line 106\r\r")));
    EXPECT_EQ(form->rowCount(), 0);
    EXPECT_EQ(form->ListItems->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Active"));
    EXPECT_FALSE(form->isLoading);
}

TEST_F(Form1Startup, AMissingTemplateStillMarksTheDatabaseNew)
{
    load();
    QStringList lines;
    for (const auto &shown : box.shown())
        lines << shown.prompt.section(QStringLiteral(" at line "), 1, 1).section(QLatin1Char('\r'), 0, 0);
    EXPECT_EQ(lines, (QStringList{QStringLiteral("146"), QStringLiteral("152"), QStringLiteral("104"),
                                  QStringLiteral("106")}));
    EXPECT_FALSE(QFile::exists(home.dataFile()));
}

TEST_F(Form1Startup, ACursorFileThatIsNoCursorIsReportedAtItsLine)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {});
    QFile cursor(home.programFolder() + QStringLiteral("/HAND-M.CUR"));
    ASSERT_TRUE(cursor.open(QIODevice::WriteOnly));
    cursor.write("not a cursor");
    cursor.close();
    load();
    ASSERT_EQ(box.shown().size(), 1u) << box.prompts().join(QStringLiteral("\n---\n")).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid picture\r\nin Tidefetch2021/08/31.Form1.Form_Load at line 108\r\r")));
    EXPECT_EQ(box.shown()[0].title, QStringLiteral("Application Error"));
    // The start goes on.
    EXPECT_FALSE(form->isLoading);
    EXPECT_EQ(form->ListItems->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Podcast Name"));
}

TEST_F(Form1Startup, UnreadableFieldsAreReportedAtTheirLineWhileOtherRowsFill)
{
    makeTemplate(QStringLiteral("dbPodcast.mdb"),
                 {feed(QStringLiteral("Good"), 5), feed(QStringLiteral("Late"), 20),
                  QStringLiteral("insert into [rss] values (NULL,10,'x.mp3','/pods/','http://x',True)"),
                  feed(QStringLiteral("Huge"), 40000),
                  QStringLiteral("insert into [rss] values ('NoFlag',30,'x.mp3','/pods/','http://x',NULL)")});
    load();

    ASSERT_EQ(box.shown().size(), 3u) << box.prompts().join(QStringLiteral("\n---\n")).toStdString();
    EXPECT_TRUE(box.shown()[0].prompt.startsWith(
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form1.listPodCast at line 112\r\r")));
    EXPECT_TRUE(box.shown()[1].prompt.startsWith(
        QStringLiteral("Invalid use of Null\r\nin Tidefetch2021/08/31.Form1.listPodCast at line 116\r\r")));
    EXPECT_TRUE(box.shown()[2].prompt.startsWith(
        QStringLiteral("Overflow\r\nin Tidefetch2021/08/31.Form1.listPodCast at line 114\r\r")));

    EXPECT_EQ(column(Form1::NameColumn), (QStringList{QStringLiteral("Good"), QStringLiteral("Late"),
                                                      QStringLiteral("NoFlag"), QStringLiteral("Huge")}));
    EXPECT_EQ(column(Form1::CountdownColumn), (QStringList{QStringLiteral("00:05:00"), QStringLiteral("00:20:00"),
                                                           QStringLiteral("00:30:00"), QString()}));
    EXPECT_EQ(column(Form1::ActiveColumn),
              (QStringList{QStringLiteral("Yes"), QStringLiteral("Yes"), QString(), QStringLiteral("Yes")}));
    EXPECT_FALSE(form->ListItems->item(3, Form1::NameColumn)->data(Form1::MinuteRole).isValid());
}

TEST_F(Form1Startup, ListsColumnsAndKeepsTheSelectionAcrossRefills)
{
    makeTemplate(QStringLiteral("dbPodcast.mdb"), {feed(QStringLiteral("A"), 5), feed(QStringLiteral("B"), 6)});
    load();
    EXPECT_EQ(form->ListItems->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Podcast Name"));
    EXPECT_EQ(form->ListItems->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Download Minute"));
    EXPECT_EQ(form->ListItems->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Active"));
    EXPECT_EQ(form->ListView1->currentIndex().row(), 0);

    form->ListView1->setCurrentIndex(form->ListItems->index(1, 0));
    test::runSql(home.dataFile(), QStringLiteral("update [rss] set [minute]=1 where name='B'"));
    form->listPodCast();
    EXPECT_EQ(form->itemText(form->ListView1->currentIndex().row(), Form1::NameColumn), QStringLiteral("B"));
}

TEST_F(Form1Startup, AnEmptySettingsStoreStartsShownWithBothOptionsClear)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {});
    load();
    EXPECT_FALSE(form->Check3->isChecked());
    EXPECT_FALSE(form->Check8->isChecked());
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(form->isLoading);
    // Restoring the options writes neither of them.
    QSettings stored(home.configFile(), QSettings::IniFormat);
    EXPECT_FALSE(stored.contains(QStringLiteral("Tidewell Episode Keeper/Windows Startup")));
}

TEST_F(Form1Startup, OptionsAreTickedOnlyByExactlyOn)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {});
    settings::write(settings::windowsStartup, QStringLiteral("on"));
    settings::write(settings::minimized, settings::on);
    load();
    EXPECT_FALSE(form->Check3->isChecked());
    EXPECT_TRUE(form->Check8->isChecked());
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);

    settings::write(settings::windowsStartup, settings::on);
    settings::write(settings::minimized, QStringLiteral("ON"));
    load();
    EXPECT_TRUE(form->Check3->isChecked());
    EXPECT_FALSE(form->Check8->isChecked());
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
}

TEST_F(Form1Startup, StoredOffLeavesSchedulingStoppedAndOtherTextsTouchNothing)
{
    makeTemplate(QStringLiteral("dbBlank.mdb"), {});
    settings::write(settings::startStopState, settings::off);
    load();
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn On"));
    EXPECT_EQ(form->Timer1.at(0)->interval(), 0);
    EXPECT_FALSE(form->Timer1.at(0)->isActive());

    settings::write(settings::startStopState, QStringLiteral("on"));
    load();
    EXPECT_EQ(form->PushButton6->text(), QStringLiteral("Turn On"));
    EXPECT_EQ(settings::read(settings::startStopState, QString()), QStringLiteral("on"));
}

} // namespace
} // namespace tidewell
