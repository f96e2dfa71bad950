// Layout that holds whatever the window shows: a long status, a transfer
// starting and ending, a countdown of a year, a short message.
#include "MainWindowFixture.h"

#include "FormatCountdown.h"
#include "QtMessageBox.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

namespace tidewell::test {
namespace {

class WindowLayout : public MainWindowTest
{
protected:
    void showWindow()
    {
        form->show();
        form->layout()->activate();
    }
};

TEST_F(WindowLayout, ALongFailureIsCutToTheWindowsWidthAndWholeInTheTooltip)
{
    load({QStringLiteral("News")});
    showWindow();
    const int width = form->width();
    const int narrowest = form->minimumSizeHint().width();

    const QString failure = QStringLiteral("News failed at 06:00: Download Failed. (") + QString(600, QLatin1Char('x'))
        + QLatin1Char(')');
    form->StatusLine->setText(failure);
    form->layout()->activate();
    EXPECT_EQ(form->width(), width);
    EXPECT_EQ(form->minimumSizeHint().width(), narrowest);

    QHelpEvent ask(QEvent::ToolTip, QPoint(2, 2), form->StatusLine->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(form->StatusLine, &ask);
    EXPECT_EQ(form->StatusLine->toolTip(), failure);
}

TEST_F(WindowLayout, TheButtonsKeepTheirPlaceWhenTheProgressBarShowsAndGoes)
{
    load({QStringLiteral("News")});
    showWindow();
    const auto places = [this] {
        form->layout()->activate();
        return QList<QRect>{form->PushButton1->geometry(), form->PushButton2->geometry(),
                            form->PushButton6->geometry(), form->ListView1->geometry()};
    };
    const QList<QRect> without = places();
    form->TransferProgress->setRange(0, 0);
    form->TransferProgress->show();
    EXPECT_EQ(places(), without);
    form->TransferProgress->hide();
    EXPECT_EQ(places(), without);
}

TEST_F(WindowLayout, TheCountdownColumnHoldsAYearWithoutCuttingIt)
{
    load({QStringLiteral("News")});
    showWindow();
    const QString longest = FormatCountdown(366 * 86400 - 1);
    ASSERT_EQ(longest, QStringLiteral("365 day(s) and 23:59:59"));
    form->ListItems->item(0, Form1::CountdownColumn)->setText(longest);
    const QAbstractItemView *view = form->ListView1;
    EXPECT_GE(form->ListView1->columnWidth(Form1::CountdownColumn), view->sizeHintForColumn(Form1::CountdownColumn));
    // The other columns keep their designed widths.
    EXPECT_EQ(form->ListView1->columnWidth(Form1::NameColumn), 4500 * form->ListView1->logicalDpiX() / 1440);
}

// The size of the box the program shows for `prompt`, taken while it is open.
QSize boxSize(const QString &prompt, const QString &title, int style = msgbox::OkOnly)
{
    QSize size;
    QTimer::singleShot(0, [&size] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        size = box->size();
        box->done(QMessageBox::No);
    });
    QtMessageBox boxes;
    boxes.show(prompt, style, title);
    return size;
}

TEST(MessageBoxWidth, AShortMessageLeavesTheTitleBarRoomForTheTitle)
{
    // The title bar's icon and buttons take about one title bar's height each.
    const QString title = QStringLiteral("Tidewell Episode");
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    const int titleBar = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int needed = metrics.horizontalAdvance(title) + 4 * titleBar;
    for (const char *prompt : {"Done.", "Download Failed."})
        EXPECT_GE(boxSize(QString::fromLatin1(prompt), title).width(), needed) << prompt;
    EXPECT_GE(boxSize(QStringLiteral("Remove X?"), title, msgbox::YesNo).width(), needed);
}

} // namespace
} // namespace tidewell::test
