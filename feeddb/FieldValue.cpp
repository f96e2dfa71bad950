#include "FieldValue.h"

#include "RuntimeError.h"

#include <cmath>

namespace tidewell {

QString FieldValue::toText() const
{
    if (const auto *text = std::get_if<QString>(&m_value))
        return *text;
    if (const auto *whole = std::get_if<qint64>(&m_value))
        return QString::number(*whole);
    if (const auto *real = std::get_if<double>(&m_value))
        return QString::number(*real, 'g', 15);
    throw RuntimeError::invalidUseOfNull();
}

double FieldValue::toNumber() const
{
    if (const auto *whole = std::get_if<qint64>(&m_value))
        return static_cast<double>(*whole);
    if (const auto *real = std::get_if<double>(&m_value))
        return *real;
    if (const auto *text = std::get_if<QString>(&m_value)) {
        bool ok = false;
        const double value = text->trimmed().toDouble(&ok);
        if (!ok)
            throw RuntimeError::typeMismatch();
        return value;
    }
    throw RuntimeError::invalidUseOfNull();
}

qint16 FieldValue::toInt16() const
{
    const double value = std::nearbyint(toNumber()); // the default rounding mode is half to even
    if (!(value >= -32768.0 && value <= 32767.0))
        throw RuntimeError::overflow();
    return static_cast<qint16>(value);
}

bool FieldValue::toBool() const
{
    if (const auto *text = std::get_if<QString>(&m_value)) {
        const QString word = text->trimmed();
        if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return toNumber() != 0.0;
}

} // namespace tidewell
