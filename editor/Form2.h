#pragma once

#include "AddFolder.h"
#include "ErrorTrap.h"
#include "FeedStore.h"
#include "MessageBox.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QCheckBox;
class QDialog;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTreeView;

namespace tidewell {

class MousePointerSwitch;

// The "Add / Remove Feeds" dialog. The object lives as long as the program
// and keeps the editing state; its controls are made afresh at each opening
// and destroyed when it closes.
class Form2 : public QObject
{
    Q_OBJECT

public:
    struct Environment
    {
        MessageBox &messageBox;
        FeedStore &dbConn;
        QString programFolder;
    };

    // Columns of the list, in the order the table's fields are shown.
    enum Column { NameColumn, MinuteColumn, FilenameColumn, FolderColumn, UrlColumn, ActiveColumn };

    explicit Form2(Environment environment);
    ~Form2() override;
    Form2(const Form2 &) = delete;
    Form2 &operator=(const Form2 &) = delete;

    // Shows the dialog modally over `owner` and returns when it is closed.
    void Show(QWidget *owner);
    // The halves of Show: make the controls and run Form_Load without
    // showing anything, and destroy the controls again.
    void Load(QWidget *owner);
    void Unload();

    // Replaces the desktop's folder chooser (tests answer for the user).
    void setFolderBrowser(FolderBrowser &browser) { m_folderBrowser = &browser; }

    QDialog *dialog() const;
    int rowCount() const;
    QString itemText(int row, Column column) const;

    // Opening, the list and the buttons.
    void Form_Load();
    void listPodCast();
    void ListView1_Click();
    void PushButton4_Click(); // "New Feed"
    void PushButton5_Click(); // "Remove Feed"
    void PushButton6_Click(); // "Save Changes"
    void PushButton1_Click(); // "Cancel"
    void PushButton2_Click(); // "Close"
    // The folder buttons.
    void PushButton3_Click(); // "..."
    void PushButton7_Click(); // "Desktop"
    void PushButton8_Click(); // "Downloads"
    // Change tracking and the help while typing.
    void Check1_Click();
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text4_Change();
    void Text5_Change();
    void Text5_LostFocus();

    // The controls of the open dialog; null while it is closed.
    QTreeView *ListView1 = nullptr;
    QStandardItemModel *ListItems = nullptr;
    QGroupBox *Frame1 = nullptr; // "Feed Details"
    QLineEdit *Text1 = nullptr;  // name
    QLineEdit *Text5 = nullptr;  // download minute
    QCheckBox *Check1 = nullptr; // "Active"
    QLineEdit *Text2 = nullptr;  // filename
    QLineEdit *Text3 = nullptr;  // folder, filled by the buttons beside it
    QLineEdit *Text4 = nullptr;  // URL
    QPushButton *PushButton1 = nullptr; // "Cancel"
    QPushButton *PushButton2 = nullptr; // "Close"
    QPushButton *PushButton3 = nullptr; // "..."
    QPushButton *PushButton4 = nullptr; // "New Feed"
    QPushButton *PushButton5 = nullptr; // "Remove Feed"
    QPushButton *PushButton6 = nullptr; // "Save Changes"
    QPushButton *PushButton7 = nullptr; // "Desktop"
    QPushButton *PushButton8 = nullptr; // "Downloads"

    // The editing state; it outlives the controls.
    bool isFilling = false;
    bool isDirty = false;
    QString oldName;
    QString oldMinute;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The error handler of one run of a guarded procedure of the dialog.
    ErrorTrap trap(const QString &procedure);
    void buildControls(QWidget *owner);
    QWidget *buildDetails();
    QWidget *buildButtonRow();
    void describeControls();
    void orderTabStops();
    void connectHandlers();
    void addColumns(ErrorTrap &onError);
    void fillRow(ErrorTrap &onError, const FeedRecord &feed);
    void selectFirstRow();
    int selectedRow() const;
    QString selectedText(Column column) const;
    void minuteFieldLeft();
    bool minuteRefusedBefore(const QPushButton *button);
    void refuseMinute();
    bool nameTaken(ErrorTrap &onError);
    bool minuteTaken(ErrorTrap &onError);
    bool writeFeed(ErrorTrap &onError);
    QString downloadsFolder() const;

    // Places the appearance work fills: the button-face colours, the window
    // icon, the hand pointer file and the pointer changes over the controls.
    void ColorFormControls();
    void setProgramIcon();
    void loadCustomPointer();
    void connectPointerHandlers();

    MessageBox &m_messageBox;
    FeedStore &m_dbConn;
    QString m_programFolder;
    DialogFolderBrowser m_dialogFolderBrowser;
    FolderBrowser *m_folderBrowser = &m_dialogFolderBrowser;
    // Owned here; a child of the owner only so that it stays modal over it.
    QPointer<QDialog> m_dialog;
    QPointer<MousePointerSwitch> m_pointer;
    // Set while the list is refilled, when its current row moves by code.
    bool m_refilling = false;
    // The minute field was left and its check has not run yet.
    bool m_minuteCheckPending = false;
};

} // namespace tidewell
