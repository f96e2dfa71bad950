#include "TemporaryHome.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <stdexcept>

namespace tidewell::test {

TemporaryHome::TemporaryHome()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a temporary home");
    setEnv("HOME", path());
    setEnv("XDG_DATA_HOME", path() + QStringLiteral("/data"));
    setEnv("XDG_CONFIG_HOME", path() + QStringLiteral("/config"));
    setEnv("XDG_CACHE_HOME", path() + QStringLiteral("/cache"));
    setEnv("XDG_STATE_HOME", path() + QStringLiteral("/state"));
    setEnv("XDG_DESKTOP_DIR", desktop());
    setEnv("XDG_RUNTIME_DIR", path() + QStringLiteral("/runtime"));
    QDir root(path());
    for (const char *folder : {"data", "config", "cache", "state", "Desktop", "program", "runtime"})
        root.mkpath(QString::fromLatin1(folder));
    // The runtime folder is the user's alone, or Qt will not use it.
    QFile::setPermissions(path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TemporaryHome::~TemporaryHome()
{
    for (const auto &[name, old] : m_saved) {
        if (old.first)
            setenv(name.constData(), old.second.constData(), 1);
        else
            unsetenv(name.constData());
    }
}

QString TemporaryHome::dataFolder() const
{
    return path() + QStringLiteral("/data/Marrowby/Tidewell Episode Keeper");
}

void TemporaryHome::installBlankTemplate() const
{
    const QString target = programFolder() + QStringLiteral("/dbBlank.mdb");
    QFile::remove(target);
    if (!QFile::copy(QStringLiteral(TIDEWELL_BLANK_TEMPLATE), target))
        throw std::runtime_error("cannot copy the blank template");
}

void TemporaryHome::setEnv(const char *name, const QString &value)
{
    if (!m_saved.count(name)) {
        const char *old = std::getenv(name);
        m_saved[name] = {old != nullptr, old ? QByteArray(old) : QByteArray()};
    }
    setenv(name, value.toLocal8Bit().constData(), 1);
}

} // namespace tidewell::test
