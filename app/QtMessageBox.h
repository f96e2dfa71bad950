#pragma once

#include "MessageBox.h"

namespace tidewell {

// Message boxes on screen, modal over the active window.
class QtMessageBox : public MessageBox
{
protected:
    int present(const QString &prompt, int style, const QString &title) override;
};

} // namespace tidewell
