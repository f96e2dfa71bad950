#include "Form2.h"

#include <QDialog>

namespace tidewell {

Form2::Form2(Environment environment)
    : m_messageBox(environment.messageBox), m_dbConn(environment.dbConn),
      m_programFolder(std::move(environment.programFolder))
{
}

Form2::~Form2() = default;

void Form2::Show(QWidget *owner)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Add / Remove Feeds"));
    dialog.exec();
}

} // namespace tidewell
