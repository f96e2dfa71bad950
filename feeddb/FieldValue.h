#pragma once

#include <QString>

#include <variant>

namespace tidewell {

// One field of a record: null, a whole number, a real number or text, read
// with the conversions the program applies (and the errors they raise).
class FieldValue
{
public:
    FieldValue() = default;
    explicit FieldValue(qint64 value) : m_value(value) {}
    explicit FieldValue(double value) : m_value(value) {}
    explicit FieldValue(QString value) : m_value(std::move(value)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(m_value); }

    // Raises "Invalid use of Null" (94) for a null field.
    QString toText() const;
    // A signed 16-bit whole number, real numbers rounded half to even; raises
    // 94 for null, "Overflow" (6) outside -32768..32767, 13 for other text.
    qint16 toInt16() const;
    // Raises 94 for null and 13 for text that is neither a number nor
    // True/False.
    bool toBool() const;

private:
    double toNumber() const;

    std::variant<std::monostate, qint64, double, QString> m_value;
};

} // namespace tidewell
