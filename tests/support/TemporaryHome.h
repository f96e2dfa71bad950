#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

namespace tidewell::test {

// A home folder of the test's own: HOME and the XDG folders (the runtime
// folder, where the program's sockets go, among them) point into it for the
// fixture's life, and a "program" folder stands in for the folder of the
// executable. Everything is removed afterwards.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString programFolder() const { return path() + QStringLiteral("/program"); }
    QString dataFolder() const;
    QString dataFile() const { return dataFolder() + QStringLiteral("/dbData.mdb"); }
    QString desktop() const { return path() + QStringLiteral("/Desktop"); }
    QString configFile() const { return path() + QStringLiteral("/config/Marrowby.conf"); }

    // Puts the blank template built with the program beside the "executable".
    void installBlankTemplate() const;

private:
    void setEnv(const char *name, const QString &value);

    QTemporaryDir m_dir;
    std::map<QByteArray, std::pair<bool, QByteArray>> m_saved;
};

} // namespace tidewell::test
