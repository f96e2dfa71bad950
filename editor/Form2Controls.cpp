// The "Add / Remove Feeds" dialog's controls: made afresh at each opening,
// laid out as the dialog always has been, with their tab order and their
// handlers connected.
#include "Form2.h"

#include "PushButtonKeys.h"
#include "ReportList.h"
#include "ScreenFit.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace tidewell {
namespace {

QFont dialogFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setBold(true);
    return font;
}

QFont buttonFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setBold(true);
    return font;
}

// A field's label, tied to the field: a screen reader names the field after
// it (without the colon) instead of after the frame around both.
QLabel *labelFor(QWidget *field, const QString &text)
{
    auto *label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    QString name = text;
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    field->setAccessibleName(name);
    return label;
}

} // namespace

void Form2::buildControls(QWidget *owner)
{
    m_dialog = new QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                      | Qt::WindowCloseButtonHint);
    m_dialog->setWindowTitle(QStringLiteral("Add / Remove Feeds"));
    // Modal over the main window only: an application-modal dialog would
    // also refuse the clicks on the tray icon that bring a minimised program
    // back.
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setFont(dialogFont());

    ListView1 = makeReportList(m_dialog.data(), ListItems);
    ListView1->header()->setStretchLastSection(false);

    auto *layout = new QVBoxLayout(m_dialog.data());
    layout->addWidget(ListView1, 1);
    layout->addWidget(buildDetails());
    layout->addWidget(buildButtonRow());

    describeControls();
    orderTabStops();
    connectHandlers();
    connectPointerHandlers();
    m_dialog->resize(twipsWide(m_dialog.data(), 10920), twipsHigh(m_dialog.data(), 6705));
    fitOnScreen(*m_dialog, Placement::Centred);
}

QWidget *Form2::buildDetails()
{
    Frame1 = new QGroupBox(QStringLiteral("Feed Details"), m_dialog.data());
    Text1 = new QLineEdit(Frame1);
    Text5 = new QLineEdit(Frame1);
    Text5->setFixedWidth(twipsWide(m_dialog.data(), 735));
    Check1 = new QCheckBox(QStringLiteral("Active"), Frame1);
    Text2 = new QLineEdit(Frame1);
    Text3 = new QLineEdit(Frame1);
    Text3->setReadOnly(true);
    Text4 = new QLineEdit(Frame1);
    PushButton7 = new QPushButton(QStringLiteral("Desktop"), Frame1);
    PushButton8 = new QPushButton(QStringLiteral("Downloads"), Frame1);
    PushButton3 = new QPushButton(QStringLiteral("..."), Frame1);

    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(Text1, 1);
    nameRow->addWidget(labelFor(Text5, QStringLiteral("Download Minute (Don't Duplicate):")));
    nameRow->addWidget(Text5);
    nameRow->addWidget(Check1);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(Text3, 1);
    folderRow->addWidget(PushButton7);
    folderRow->addWidget(PushButton8);
    folderRow->addWidget(PushButton3);

    auto *rows = new QGridLayout(Frame1);
    rows->addWidget(labelFor(Text1, QStringLiteral("Feed Name:")), 0, 0);
    rows->addLayout(nameRow, 0, 1);
    rows->addWidget(labelFor(Text2, QStringLiteral("Filename:")), 1, 0);
    rows->addWidget(Text2, 1, 1);
    rows->addWidget(labelFor(Text3, QStringLiteral("Folder:")), 2, 0);
    rows->addLayout(folderRow, 2, 1);
    rows->addWidget(labelFor(Text4, QStringLiteral("URL:")), 3, 0);
    rows->addWidget(Text4, 3, 1);
    return Frame1;
}

QWidget *Form2::buildButtonRow()
{
    auto *row = new QWidget(m_dialog.data());
    PushButton4 = new QPushButton(QStringLiteral("New Feed"), row);
    PushButton5 = new QPushButton(QStringLiteral("Remove Feed"), row);
    PushButton6 = new QPushButton(QStringLiteral("Save Changes"), row);
    PushButton1 = new QPushButton(QStringLiteral("Cancel"), row);
    PushButton2 = new QPushButton(QStringLiteral("Close"), row);
    auto *buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton *button : {PushButton4, PushButton5, PushButton6, PushButton1, PushButton2})
        buttons->addWidget(button, 1);

    const QList<QPushButton *> all{PushButton1, PushButton2, PushButton3, PushButton4,
                                   PushButton5, PushButton6, PushButton7, PushButton8};
    for (QPushButton *button : all) {
        button->setFont(buttonFont());
        // Enter in a field must not press a button the user never chose;
        // on a button it presses that one.
        button->setAutoDefault(false);
        button->installEventFilter(this);
    }
    pressOnEnter(*m_dialog, all);
    return row;
}

void Form2::describeControls()
{
    // What a screen reader says besides a control's name; the fields are
    // named after their labels.
    ListView1->setAccessibleName(QStringLiteral("Feeds"));
    ListView1->setAccessibleDescription(QStringLiteral("Every feed by name; the selected one is shown in the fields "
                                                       "below."));
    Text1->setAccessibleDescription(QStringLiteral("The feed's name; no two feeds may share it."));
    Text5->setAccessibleDescription(QStringLiteral("Minutes between two downloads of the feed; no two feeds may "
                                                   "share a minute."));
    Check1->setAccessibleDescription(QStringLiteral("Downloads the feed on its schedule."));
    Text2->setAccessibleDescription(QStringLiteral("The file name the episode is saved under."));
    Text3->setAccessibleDescription(QStringLiteral("The folder the episode is saved in; the buttons beside it "
                                                   "choose it."));
    Text4->setAccessibleDescription(QStringLiteral("The feed's web address."));
    PushButton7->setAccessibleDescription(QStringLiteral("Makes the desktop folder the feed's folder."));
    PushButton8->setAccessibleDescription(QStringLiteral("Makes the download folder the feed's folder."));
    PushButton3->setAccessibleName(QStringLiteral("Choose Folder"));
    PushButton3->setAccessibleDescription(QStringLiteral("Opens a folder chooser for the folder the episodes are "
                                                         "saved in."));
    PushButton4->setAccessibleDescription(QStringLiteral("Empties the fields for a new feed."));
    PushButton5->setAccessibleDescription(QStringLiteral("Removes the selected feed after asking."));
    PushButton6->setAccessibleDescription(QStringLiteral("Saves the fields as the feed."));
    PushButton1->setAccessibleDescription(QStringLiteral("Drops the changes and shows the selected feed again."));
    PushButton2->setAccessibleDescription(QStringLiteral("Closes the editor; unsaved changes are dropped."));
}

void Form2::orderTabStops()
{
    QWidget *const order[] = {Text1, Text5, Check1, Text2, Text3, PushButton3, Text4, ListView1,
                              PushButton2, PushButton4, PushButton5, PushButton6, PushButton1, PushButton7,
                              PushButton8};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    Text1->setFocus();
}

void Form2::connectHandlers()
{
    // The change handlers run for changes made by code as well, as the
    // change tracking and the help while typing expect.
    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
    connect(Text3, &QLineEdit::textChanged, this, [this] { Text3_Change(); });
    connect(Text4, &QLineEdit::textChanged, this, [this] { Text4_Change(); });
    connect(Text5, &QLineEdit::textChanged, this, [this] { Text5_Change(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    Text5->installEventFilter(this);

    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });

    // The fields follow the selected row, whether the user clicked it or
    // moved to it with the keys; a click on the row already selected, or
    // below the rows, reloads it too.
    connect(ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_refilling && ListItems)
            ListView1_Click();
    });
    ListView1->viewport()->installEventFilter(this);
}

} // namespace tidewell
