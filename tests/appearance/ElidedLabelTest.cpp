#include "ElidedLabel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QPushButton>

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(ElidedLabel, ALongTextIsCutToTheLabelsWidthNeverWidensTheWindowAndIsWholeInTheTooltip)
{
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *label = new ElidedLabel(&window);
    layout->addWidget(label, 1);
    layout->addWidget(new QPushButton(QStringLiteral("OK"), &window));
    window.resize(300, 40);
    window.show();
    const int before = window.minimumSizeHint().width();

    const QString failure = QStringLiteral("Morning News failed at 06:00: ") + QString(400, QLatin1Char('x'));
    label->setText(failure);
    layout->activate();
    EXPECT_EQ(window.minimumSizeHint().width(), before);
    EXPECT_EQ(window.width(), 300);
    EXPECT_EQ(label->text(), failure);
    EXPECT_TRUE(label->shownText().endsWith(QChar(0x2026))) << label->shownText().toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->shownText()), label->contentsRect().width());

    QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &ask);
    EXPECT_EQ(label->toolTip(), failure);

    // A text that fits is shown as it is.
    label->setText(QStringLiteral("Done."));
    EXPECT_EQ(label->shownText(), QStringLiteral("Done."));
}

} // namespace
} // namespace tidewell
