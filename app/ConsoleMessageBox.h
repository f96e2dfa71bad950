#pragma once

#include "MessageBox.h"

namespace tidewell {

// The command line shows no boxes: what a box would say goes to standard
// error, and questions are answered No.
class ConsoleMessageBox : public MessageBox
{
protected:
    int present(const QString &prompt, int style, const QString &title) override;
};

} // namespace tidewell
