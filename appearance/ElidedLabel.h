#pragma once

#include <QLabel>

namespace tidewell {

// A one-line label that never asks for more width than its place gives it:
// a text too long for that place is drawn cut short with an ellipsis, and
// the whole text is its tooltip. text() stays the whole text, so a screen
// reader reads all of it.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The text as drawn in the label's present width.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tidewell
