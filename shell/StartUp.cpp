#include "StartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace tidewell {
namespace {
const QString entryName = QStringLiteral("Tidewell Episode Keeper");
const QString entryIcon = QStringLiteral("tidewell-episode-keeper");

bool isReservedInExec(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

QString quoteExecArgument(const QString &argument)
{
    if (!std::any_of(argument.begin(), argument.end(), isReservedInExec))
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

// The escapes every string value of a desktop entry goes through; readers
// undo these before they look at the Exec quoting.
QString escapeStringValue(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': escaped += QStringLiteral("\\\\"); break;
        case '\n': escaped += QStringLiteral("\\n"); break;
        case '\t': escaped += QStringLiteral("\\t"); break;
        case '\r': escaped += QStringLiteral("\\r"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

QByteArray entryText(const QString &executablePath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "TryExec=%2\n"
                                        "Exec=%3\n"
                                        "Icon=%4\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(entryName, escapeStringValue(executablePath), execValueFor(executablePath),
                                  entryIcon);
    return text.toUtf8();
}

QString joinFolderAndName(const QString &folder, const QString &fileName)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + fileName : folder + QLatin1Char('/') + fileName;
}
} // namespace

QString autostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString autostartEntryPath(const QString &fileName)
{
    return autostartFolder() + QLatin1Char('/') + fileName + QStringLiteral(".desktop");
}

QString execValueFor(const QString &path)
{
    QString value = quoteExecArgument(path);
    // A lone percent sign would start a field code.
    value.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return escapeStringValue(value);
}

void AddRunEntry(const QString &fileName, const QString &programFolder)
{
    // Failures are not reported: the check box keeps showing the user's
    // choice, as it did when the start-up list could not be written.
    if (!QDir().mkpath(autostartFolder()))
        return;
    QSaveFile entry(autostartEntryPath(fileName));
    if (!entry.open(QIODevice::WriteOnly))
        return;
    entry.write(entryText(joinFolderAndName(programFolder, fileName)));
    entry.commit();
}

void RemoveRunEntry(const QString &fileName)
{
    QFile::remove(autostartEntryPath(fileName));
}

QString findExecutable()
{
    const QString path = QCoreApplication::applicationFilePath();
    return QFileInfo(path).isFile() ? path : QString();
}

void RegisterStartup()
{
    RegisterStartup(findExecutable());
}

void UnregisterStartup()
{
    UnregisterStartup(findExecutable());
}

void RegisterStartup(const QString &executablePath)
{
    const QFileInfo executable(executablePath);
    if (executablePath.isEmpty() || !executable.isFile())
        return;
    AddRunEntry(executable.fileName(), executable.absolutePath());
}

void UnregisterStartup(const QString &executablePath)
{
    const QFileInfo executable(executablePath);
    if (executablePath.isEmpty() || !executable.isFile())
        return;
    RemoveRunEntry(executable.fileName());
}

} // namespace tidewell
