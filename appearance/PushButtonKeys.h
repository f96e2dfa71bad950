#pragma once

#include <QList>

class QPushButton;
class QWidget;

namespace tidewell {

// Enter and the keypad's Enter press the push button that has the keyboard
// focus, as the space bar does; elsewhere in the window they do nothing, so
// a field never presses a button the user did not choose.
void pressOnEnter(QWidget &window, const QList<QPushButton *> &buttons);

} // namespace tidewell
