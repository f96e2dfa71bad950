#include "MessageBox.h"

#include "ProgramTitle.h"

namespace tidewell {

int MessageBox::show(const QString &prompt, int style, const QString &title)
{
    return present(prompt, style, title.isEmpty() ? programTitle() : title);
}

} // namespace tidewell
