#include "RuntimeError.h"

namespace tidewell {

RuntimeError::RuntimeError(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

RuntimeError RuntimeError::invalidUseOfNull()
{
    return {errnum::InvalidUseOfNull, QStringLiteral("Invalid use of Null")};
}

RuntimeError RuntimeError::overflow()
{
    return {errnum::Overflow, QStringLiteral("Overflow")};
}

RuntimeError RuntimeError::typeMismatch()
{
    return {errnum::TypeMismatch, QStringLiteral("Type mismatch")};
}

RuntimeError RuntimeError::invalidProcedureCall()
{
    return {errnum::InvalidProcedureCall, QStringLiteral("Invalid procedure call or argument")};
}

} // namespace tidewell
