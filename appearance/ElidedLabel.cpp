#include "ElidedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace tidewell {

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    // Ignored: the layout gives the label what is left over and takes none
    // of its width from the text, so a long text never widens the window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

bool ElidedLabel::event(QEvent *event)
{
    // QLabel::setText is no virtual, so the tooltip follows the text at the
    // moment it is asked for.
    if (event->type() == QEvent::ToolTip)
        setToolTip(text());
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shownText(), foregroundRole());
}

} // namespace tidewell
