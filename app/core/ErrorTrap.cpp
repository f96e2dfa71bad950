#include "ErrorTrap.h"

#include "BuildConfig.h"

namespace tidewell {

QString errorReportText(const QString &description, const QString &object, const QString &procedure, int line)
{
    return description + QStringLiteral("\r\n") + QStringLiteral("in Tidefetch2021/08/31.") + object
        + QLatin1Char('.') + procedure + QLatin1Char(' ') + QStringLiteral("at line ") + QString::number(line)
        + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
        + QString::fromUtf8(build::supportEmail);
}

ErrorTrap::ErrorTrap(MessageBox &messageBox, QString object, QString procedure)
    : m_messageBox(messageBox), m_object(std::move(object)), m_procedure(std::move(procedure))
{
}

void ErrorTrap::report(int line, const RuntimeError &error)
{
    ++m_reportCount;
    QString text = errorReportText(error.description(), m_object, m_procedure, line);
    if (m_extraLine)
        text += QStringLiteral("\r\n") + m_extraLine();
    m_messageBox.show(text, msgbox::Exclamation, QStringLiteral("Application Error"));
}

RuntimeError ErrorTrap::unexpected(const std::exception &error)
{
    // Not raised by our layers on purpose (an allocation failure, say); it is
    // still reported rather than allowed to end the program.
    return {51, QStringLiteral("Internal error: ") + QString::fromLocal8Bit(error.what())};
}

} // namespace tidewell
