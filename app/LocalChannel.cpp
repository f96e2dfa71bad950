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
#include <sys/un.h>
#include <unistd.h>

namespace tidewell {
namespace {

// The longest path a local socket can have: sockaddr_un's, its NUL aside.
constexpr qsizetype longestSocketPath = sizeof(sockaddr_un::sun_path) - 1;

// A folder, not a link to one, of this user's alone.
bool isPrivateFolder(const QString &folder)
{
    struct stat status{};
    return ::lstat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

// Makes `folder` this user's alone when it can be: made if missing, closed
// to others if it is ours. Empty when it cannot be.
QString madePrivate(const QString &folder)
{
    if (QDir().mkpath(folder) && QFileInfo(folder).ownerId() == ::geteuid() && !QFileInfo(folder).isSymLink())
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

} // namespace

QString privateSocketFolder(qsizetype room)
{
    const auto fits = [room](const QString &folder) {
        return !folder.isEmpty() && QFile::encodeName(folder).size() + 1 + room <= longestSocketPath;
    };
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); isPrivateFolder(runtime) && fits(runtime))
        return runtime;
    // A home deep in the file system leaves no room in the state folder for a
    // socket's name; then a folder of this user's own in /tmp, which another
    // user may have taken first, and then it is not used.
    const QString own = StateFolder() + QStringLiteral("/run");
    if (fits(own) && !madePrivate(own).isEmpty())
        return own;
    const QString temporary = QStringLiteral("/tmp/tidewell-episode-keeper-%1").arg(::geteuid());
    if (fits(temporary) && !madePrivate(temporary).isEmpty())
        return temporary;
    return QString();
}

QString feedListKey(const QString &dataFolder)
{
    const QByteArray folder = QFileInfo(dataFolder).absoluteFilePath().toUtf8();
    return QStringLiteral("tidewell-episode-keeper-")
        + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

QString channelPath(const QString &dataFolder, const QString &role)
{
    const QString name = feedListKey(dataFolder) + u'.' + role;
    const QString folder = privateSocketFolder(QFile::encodeName(name).size());
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
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
