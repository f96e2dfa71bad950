#include "Settings.h"

#include <QSettings>
#include <QStandardPaths>

namespace tidewell {
namespace {
// One INI file per application in the user's configuration folder, looked up
// at every use so a changed XDG_CONFIG_HOME is honoured.
QString storeFile(const QString &application)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder + QLatin1Char('/') + application + QStringLiteral(".conf");
}
} // namespace

QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QSettings store(storeFile(application), QSettings::IniFormat);
    store.beginGroup(section);
    return store.value(key, defaultValue).toString();
}

void SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value)
{
    QSettings store(storeFile(application), QSettings::IniFormat);
    store.beginGroup(section);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
}

QString settings::read(const QString &key, const QString &defaultValue)
{
    return GetSetting(application, section, key, defaultValue);
}

void settings::write(const QString &key, const QString &value)
{
    SaveSetting(application, section, key, value);
}

} // namespace tidewell
