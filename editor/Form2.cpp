#include "Form2.h"

#include "CursorFile.h"
#include "MousePointer.h"
#include "ProgramIcon.h"
#include "ReportList.h"
#include "Skin.h"

#include "PathHelpers.h"

#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QTreeView>

#include <optional>

namespace tidewell {

Form2::Form2(Environment environment)
    : m_messageBox(environment.messageBox), m_dbConn(environment.dbConn),
      m_programFolder(std::move(environment.programFolder))
{
}

Form2::~Form2()
{
    Unload();
}

void Form2::Show(QWidget *owner)
{
    Load(owner);
    if (m_dialog)
        m_dialog->exec();
    Unload();
}

void Form2::Load(QWidget *owner)
{
    Unload();
    buildControls(owner);
    Form_Load();
}

void Form2::Unload()
{
    if (!m_dialog)
        return;
    // Handlers that destruction may still reach find no controls and do nothing.
    QDialog *dialog = m_dialog.data();
    m_dialog.clear();
    ListView1 = nullptr;
    ListItems = nullptr;
    Frame1 = nullptr;
    Text1 = Text2 = Text3 = Text4 = Text5 = nullptr;
    Check1 = nullptr;
    PushButton1 = PushButton2 = PushButton3 = PushButton4 = nullptr;
    PushButton5 = PushButton6 = PushButton7 = PushButton8 = nullptr;
    delete dialog;
}

ErrorTrap Form2::trap(const QString &procedure)
{
    return ErrorTrap(m_messageBox, QStringLiteral("Form2"), procedure);
}

QDialog *Form2::dialog() const
{
    return m_dialog.data();
}

int Form2::rowCount() const
{
    return ListItems ? ListItems->rowCount() : 0;
}

QString Form2::itemText(int row, Column column) const
{
    const QStandardItem *item = ListItems ? ListItems->item(row, column) : nullptr;
    return item ? item->text() : QString();
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (Text5 && watched == Text5 && event->type() == QEvent::FocusOut) {
        // Switching to another window or opening the field's own menu does
        // not leave the field. The check waits until the focus has settled,
        // so its message box never opens in the middle of a focus change.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            m_minuteCheckPending = true;
            QMetaObject::invokeMethod(Text5, [this] { minuteFieldLeft(); }, Qt::QueuedConnection);
        }
    } else if (m_minuteCheckPending && event->type() == QEvent::MouseButtonPress
               && qobject_cast<QPushButton *>(watched)) {
        // The press that took the focus from the minute field: the check
        // comes first, and a refused minute keeps the button from acting, so
        // neither a second message nor the folder chooser opens over it.
        if (minuteRefusedBefore(static_cast<QPushButton *>(watched)))
            return true;
    } else if (ListView1 && watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease
               && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        ListView1_Click();
    }
    return QObject::eventFilter(watched, event);
}

// ---- Opening and the list -------------------------------------------------

void Form2::Form_Load()
{
    ErrorTrap onError = trap(QStringLiteral("Form_Load"));
    onError(100, [&] { ColorFormControls(); });
    onError(102, [&] { setProgramIcon(); });
    if (onError.test(104, [&] { return FileExists(m_programFolder + QLatin1Char('/') + cursorFileName); }))
        onError(106, [&] { loadCustomPointer(); });
    addColumns(onError);
    onError(132, [&] { listPodCast(); });
    isDirty = false; // 134
}

void Form2::addColumns(ErrorTrap &onError)
{
    addReportColumns(onError, *ListView1, *ListItems,
                     {{QStringLiteral("Name"), 2000},
                      {QStringLiteral("Minute"), 1000},
                      {QStringLiteral("Filename"), 2000},
                      {QStringLiteral("Folder"), 2300},
                      {QStringLiteral("URL"), 2300},
                      {QStringLiteral("Active"), 800}},
                     108);
}

void Form2::listPodCast()
{
    ErrorTrap onError = trap(QStringLiteral("listPodCast"));
    // 100: the store reads the rows; there is no record set to make.
    onError(102, [&] {
        const QScopedValueRollback refilling(m_refilling, true);
        ListItems->removeRows(0, ListItems->rowCount());
    });
    std::vector<FeedRecord> feeds;
    onError(104, [&] { feeds = m_dbConn.byName(); });
    // 106 to 122: each feed a row, read whole; nothing to move or close.
    for (const FeedRecord &feed : feeds)
        fillRow(onError, feed);
    if (onError.test(124, [&] { return ListItems->rowCount() > 0; })) {
        onError(126, [&] {
            selectFirstRow();
            ListView1_Click();
        });
    } else {
        isDirty = false; // 128
        // No stored feed is left to be the one in the fields, so the next
        // save adds a feed rather than updating a row that is gone.
        oldName.clear();
        oldMinute.clear();
    }
}

void Form2::fillRow(ErrorTrap &onError, const FeedRecord &feed)
{
    // A feed whose name cannot be read becomes no row, so its values never
    // land in the row before it.
    std::optional<int> row;
    onError(108, [&] {
        QList<QStandardItem *> items{new QStandardItem(feed.name.toText())};
        for (int column = MinuteColumn; column <= ActiveColumn; ++column)
            items << new QStandardItem;
        ListItems->appendRow(items);
        row = ListItems->rowCount() - 1;
    });
    if (!row)
        return;
    const FieldValue *const subItems[] = {&feed.minute, &feed.filename, &feed.folder, &feed.url};
    for (int subItem = 1; subItem <= 4; ++subItem)
        onError(108 + 2 * subItem, [&] { ListItems->item(*row, subItem)->setText(subItems[subItem - 1]->toText()); });
    onError(118, [&] {
        const bool active = feed.active.toBool();
        ListItems->item(*row, ActiveColumn)->setText(active ? QStringLiteral("Yes") : QStringLiteral("No"));
    });
}

void Form2::selectFirstRow()
{
    const QScopedValueRollback refilling(m_refilling, true);
    ListView1->setCurrentIndex(ListItems->index(0, NameColumn));
}

int Form2::selectedRow() const
{
    const QModelIndex current = ListView1->currentIndex();
    if (!current.isValid())
        throw RuntimeError(91, QStringLiteral("Object variable or With block variable not set"));
    return current.row();
}

QString Form2::selectedText(Column column) const
{
    return itemText(selectedRow(), column);
}

void Form2::ListView1_Click()
{
    ErrorTrap onError = trap(QStringLiteral("ListView1_Click"));
    if (onError.test(100, [&] { return ListItems->rowCount() == 0; }))
        return;
    isFilling = true; // 102
    isDirty = false;  // 104
    onError(106, [&] { oldName = selectedText(NameColumn); });
    onError(108, [&] { oldMinute = selectedText(MinuteColumn); });
    onError(110, [&] { Text1->setText(selectedText(NameColumn)); });
    onError(112, [&] { Text5->setText(selectedText(MinuteColumn)); });
    onError(114, [&] { Text2->setText(selectedText(FilenameColumn)); });
    onError(116, [&] { Text3->setText(selectedText(FolderColumn)); });
    onError(118, [&] { Text4->setText(selectedText(UrlColumn)); });
    onError(120, [&] { Check1->setChecked(selectedText(ActiveColumn) == QLatin1String("Yes")); });
    isFilling = false; // 122
}

// ---- Buttons --------------------------------------------------------------

void Form2::PushButton4_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton4_Click"));
    if (onError.test(100, [&] { return isDirty; }))
        return;
    isDirty = true; // 102
    onError(104, [&] { Text3->setText(GetDesktopPath()); });
    oldName.clear();   // 106
    oldMinute.clear(); // 108
    // The name is emptied while the filename still holds the previous
    // feed's, so no filename is made from the empty name.
    onError(110, [&] { Text1->clear(); });
    onError(112, [&] { Text2->clear(); });
    onError(114, [&] { Text4->clear(); });
    onError(116, [&] { Text5->setText(QStringLiteral("5")); });
    onError(118, [&] { Check1->setChecked(true); });
    onError(120, [&] { Text1->setFocus(); });
}

void Form2::PushButton5_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton5_Click"));
    if (onError.test(100, [&] { return isDirty; }))
        return;
    if (onError.test(102, [&] { return ListItems->rowCount() == 0; }))
        return;
    const bool confirmed = onError.test(104, [&] {
        const QString question = QStringLiteral("Are you sure you want to remove ") + selectedText(NameColumn)
            + QLatin1Char('?');
        return m_messageBox.show(question, msgbox::YesNo) == msgbox::Yes;
    });
    if (!confirmed)
        return;
    onError(106, [&] { m_dbConn.remove(selectedText(NameColumn)); });
    onError(108, [&] { listPodCast(); });
}

void Form2::PushButton1_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton1_Click"));
    onError(100, [&] { ListView1_Click(); });
    isDirty = false; // 102
}

void Form2::PushButton2_Click()
{
    ErrorTrap onError = trap(QStringLiteral("PushButton2_Click"));
    onError(100, [&] { m_dialog->close(); });
}

// ---- Change tracking ------------------------------------------------------

void Form2::Check1_Click()
{
    if (!isFilling)
        isDirty = true;
}

void Form2::Text2_Change()
{
    if (!isFilling)
        isDirty = true;
}

void Form2::Text3_Change()
{
    if (!isFilling)
        isDirty = true;
}

void Form2::Text5_Change()
{
    if (!isFilling)
        isDirty = true;
}

// ---- Appearance -----------------------------------------------------------

void Form2::ColorFormControls()
{
    tidewell::ColorFormControls(*m_dialog);
}

void Form2::setProgramIcon()
{
    m_dialog->setWindowIcon(programIcon());
}

void Form2::loadCustomPointer()
{
    m_pointer->setMouseIcon(LoadPicture(m_programFolder + QLatin1Char('/') + cursorFileName));
}

void Form2::connectPointerHandlers()
{
    // The switch lives with the dialog's controls and goes with them.
    m_pointer = new MousePointerSwitch(*m_dialog,
                                       {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                                        PushButton7, PushButton8},
                                       {ListView1, Frame1});
}

} // namespace tidewell
