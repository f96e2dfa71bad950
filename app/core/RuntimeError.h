#pragma once

#include <QString>

#include <stdexcept>

namespace tidewell {

// The numbers the Basic runtime gave its errors; the report shows them to the
// user, so the layers raise the same numbers for the same conditions.
namespace errnum {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int InvalidUseOfNull = 94;
inline constexpr int PathFileAccessError = 75;
inline constexpr int CannotCreateObject = 429;
inline constexpr int InvalidPicture = 481;
// The database provider's generic failure (E_FAIL), as ADO reported it.
inline constexpr int ProviderFailure = -2147467259;
} // namespace errnum

// A run-time error: a number and a description, raised by any layer where a
// statement fails, caught by the error trap of the handler that ran it.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(int number, const QString &description);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }

    static RuntimeError invalidUseOfNull();
    static RuntimeError overflow();
    static RuntimeError typeMismatch();
    static RuntimeError invalidProcedureCall();

private:
    int m_number;
    QString m_description;
};

} // namespace tidewell
