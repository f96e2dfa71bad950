#include "LocalChannel.h"

#include "PathHelpers.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {
namespace {

bool isPrivateFolder(const QString &folder)
{
    struct stat status{};
    return ::stat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

} // namespace

QString privateSocketFolder()
{
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString own = StateFolder() + QStringLiteral("/run");
    if (QDir().mkpath(own) && QFileInfo(own).ownerId() == ::geteuid())
        ::chmod(QFile::encodeName(own).constData(), 0700);
    return isPrivateFolder(own) ? own : QString();
}

QString feedListKey(const QString &dataFolder)
{
    const QByteArray folder = QFileInfo(dataFolder).absoluteFilePath().toUtf8();
    return QStringLiteral("tidewell-episode-keeper-")
        + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

QString channelPath(const QString &dataFolder, const QString &role)
{
    const QString folder = privateSocketFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + feedListKey(dataFolder) + u'.' + role;
}

bool peerIsThisUser(qintptr socketDescriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
        && peer.uid == ::geteuid();
}

LocalChannel::LocalChannel(const QString &path, QObject *parent) : QObject(parent), m_server(new QLocalServer(this))
{
    if (path.isEmpty()) {
        m_error = QStringLiteral("no folder of this user's own to put a socket in");
        return;
    }
    // Only the copy that holds the role's lock gets here, so a socket already
    // there was left by a copy that died.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path))
        m_error = m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &LocalChannel::accept);
}

bool LocalChannel::isListening() const
{
    return m_server->isListening();
}

void LocalChannel::accept()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        if (!peerIsThisUser(client->socketDescriptor())) {
            client->abort();
            continue;
        }
        // Qt reads no more than this ahead, so what a client sends beyond a
        // line waits in the kernel until it is refused.
        client->setReadBufferSize(maxLine + 1);
        connect(client, &QLocalSocket::readyRead, this, [this, client] { read(client); });
        read(client);
    }
}

void LocalChannel::read(QLocalSocket *client)
{
    while (client->state() == QLocalSocket::ConnectedState && client->canReadLine()) {
        QByteArray line = client->readLine(maxLine + 1);
        if (!line.endsWith('\n')) {
            client->abort();
            return;
        }
        line.chop(1);
        Q_EMIT request(client, line);
    }
    if (client->bytesAvailable() > maxLine)
        client->abort();
}

std::optional<QByteArray> askChannel(const QString &path, const QByteArray &request, int milliseconds)
{
    if (path.isEmpty())
        return std::nullopt;
    const QDeadlineTimer deadline(milliseconds);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > LocalChannel::maxLine || deadline.hasExpired()
            || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return std::nullopt;
    }
    return socket.readLine(LocalChannel::maxLine + 1).trimmed();
}

} // namespace tidewell
