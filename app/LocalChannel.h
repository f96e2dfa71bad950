#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

namespace tidewell {

// Where the program's local sockets live: the session's runtime folder
// ($XDG_RUNTIME_DIR) when it is this user's alone, else a folder of the state
// folder made for this user alone, else one in /tmp made for this user
// alone; the first that leaves `room` bytes for a socket's name within the
// longest path a socket can have. Never a shared folder, where another user
// could take a name first and answer in the program's place. Empty when
// none can be had.
QString privateSocketFolder(qsizetype room = 0);

// A short name for one feed list, so that two users, or two feed lists of one
// user, each have their own locks and channels.
QString feedListKey(const QString &dataFolder);

// The socket of one role ("window", "service") for one feed list; empty when
// there is no private folder for it.
QString channelPath(const QString &dataFolder, const QString &role);

// The listening end of a channel between copies of the program: requests of
// one short line each, from this user's processes only. A client of another
// user (told by SO_PEERCRED) is hung up on, as is one that sends a line
// longer than maxLine, so a client cannot make the program read without end.
// A connection stays open after its request for as long as the client keeps
// it.
class LocalChannel : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxLine = 256;

    // Listens at `path`; a socket left there by a copy that died is removed.
    explicit LocalChannel(const QString &path, QObject *parent = nullptr);
    bool isListening() const;
    const QString &errorString() const { return m_error; }

Q_SIGNALS:
    // A request, without its line end; answer on `client`.
    void request(QLocalSocket *client, const QByteArray &line);

private:
    void accept();
    void read(QLocalSocket *client);

    QLocalServer *m_server;
    QString m_error;
};

// True when the process at the socket's other end runs as this user.
bool peerIsThisUser(qintptr socketDescriptor);

// Connects to a channel, sends one request and waits for its one-line answer
// (without its line end); nothing when no copy listens there or none
// answered in time. Blocks the calling thread, which needs no event loop.
std::optional<QByteArray> askChannel(const QString &path, const QByteArray &request, int milliseconds);

} // namespace tidewell
