#pragma once

#include "Connection.h"
#include "ErrorTrap.h"
#include "Form2.h"
#include "MessageBox.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QStandardItemModel;
class QTimer;
class QTreeView;

namespace tidewell {

// The main window: the feed list, the three buttons and the start-up options.
// Its load handler is the program's start-up sequence.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    struct Environment
    {
        MessageBox &messageBox;
        // Where the templates and the other resources stand; the executable's
        // folder in the program, a prepared folder in tests.
        QString programFolder;
    };

    // Columns of the list and the role under which each row keeps its
    // feed's stored minute (absent when it could not be read).
    enum Column { NameColumn = 0, CountdownColumn = 1, ActiveColumn = 2 };
    static constexpr int MinuteRole = Qt::UserRole + 1;

    explicit Form1(Environment environment, QWidget *parent = nullptr);
    ~Form1() override;

    void Form_Load();
    void listPodCast();
    // "Add / Remove Feeds": the editor, modally, then the list afresh.
    void PushButton1_Click();

    Form2 &editor() { return *m_editor; }

    int rowCount() const;
    QString itemText(int row, Column column) const;

    QTreeView *ListView1 = nullptr;
    QStandardItemModel *ListItems = nullptr;
    QPushButton *PushButton1 = nullptr; // "Add / Remove Feeds"
    QPushButton *PushButton2 = nullptr; // "Start Downloading Selected"
    QPushButton *PushButton6 = nullptr; // "Turn On" / "Turn Off"
    QGroupBox *Frame1 = nullptr;        // "Startup Options"
    QCheckBox *Check8 = nullptr;        // "Start in system tray"
    QCheckBox *Check3 = nullptr;        // "Load this software on Windows startup"
    // The countdown timers; element 0 exists from the start.
    std::vector<QTimer *> Timer1;

    Connection dbConn;
    bool newDatabase = false;
    bool isLoading = false;

private:
    void buildControls();
    void addColumns(ErrorTrap &onError);
    void prepareDataFile(ErrorTrap &onError);
    void restoreSchedulingState(ErrorTrap &onError);
    QString resourcePath(const QString &fileName) const;
    void fillRows(ErrorTrap &onError, class RecordSet &records);
    void reselect(const QString &name);

    // Places the tray, appearance, start-up option and scheduling work fill.
    void ApplySkin();
    void SetProgramTitle();
    void loadCustomPointer();
    void setTrayTip(const QString &tip);
    void putIconInTray();
    void PushButton6_Click();
    void Check3_Click();
    void Check8_Click();

    MessageBox &m_messageBox;
    QString m_programFolder;
    std::unique_ptr<Form2> m_editor;
};

} // namespace tidewell
