#include "DownloadFile.h"

#include "DoEvents.h"
#include "NetworkRules.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace tidewell {
namespace {

// At most this much of a body waits in memory; the rest stays in the socket
// until the file has taken it, so memory does not grow with the episode.
constexpr qint64 readBufferSize = 2 << 20;

std::vector<QPointer<QNetworkReply>> &runningTransfers()
{
    static std::vector<QPointer<QNetworkReply>> replies;
    return replies;
}

class RunningTransfer
{
public:
    explicit RunningTransfer(QNetworkReply *reply) : m_reply(reply) { runningTransfers().push_back(reply); }
    ~RunningTransfer() { std::erase(runningTransfers(), m_reply); }
    RunningTransfer(const RunningTransfer &) = delete;
    RunningTransfer &operator=(const RunningTransfer &) = delete;

private:
    QPointer<QNetworkReply> m_reply;
};

bool isSuccess(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

// A connection that closes early can look like a finished reply; the body
// is whole only when it is as long as the server said (a compressed body is
// measured before inflating, so it cannot be checked that way).
bool isWhole(const QNetworkReply &reply, qint64 received)
{
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
    if (!length.isValid() || !(encoding.isEmpty() || encoding == "identity"))
        return true;
    return length.toLongLong() == received;
}

// QSaveFile refuses to replace a file it may not write; the old episode is
// replaced all the same, so it is made writable for the transfer (and given
// its permissions back if the transfer fails).
class WritableWhileReplacing
{
public:
    explicit WritableWhileReplacing(const QString &path) : m_path(path)
    {
        const QFileInfo info(path);
        if (info.exists() && !info.isWritable()) {
            m_permissions = QFile::permissions(path);
            m_changed = QFile::setPermissions(path, m_permissions | QFileDevice::WriteOwner | QFileDevice::WriteUser);
        }
    }
    void restore()
    {
        if (m_changed)
            QFile::setPermissions(m_path, m_permissions);
    }

private:
    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_changed = false;
};

} // namespace

bool DownloadFile(const QString &url, const QString &localPath, const TransferProgress &progress)
{
    DoEvents();
    const QUrl source = net::podcastUrl(url);
    if (!net::isFetchable(source) || localPath.isEmpty())
        return false;

    WritableWhileReplacing oldFile(localPath);
    QSaveFile file(localPath);
    // Unbuffered: the chunks are large already, and a second copy costs.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        oldFile.restore();
        return false;
    }

    bool writeFailed = false;
    qint64 written = 0;
    const auto write = [&](QNetworkReply &reply) {
        // An error page is never written: only the body of a 2xx response.
        const QByteArray chunk = reply.readAll();
        if (writeFailed || !isSuccess(reply))
            return;
        if (file.write(chunk) != chunk.size()) {
            writeFailed = true; // a full disk, say
            reply.abort();
        }
        written += chunk.size();
    };
    std::unique_ptr<RunningTransfer> running;
    QNetworkAccessManager manager;
    net::applyProxyRules(manager);
    const net::Transfer transfer = net::get(manager, source, [&](QNetworkReply &reply, net::ReplyGuard &guard) {
        running = std::make_unique<RunningTransfer>(&reply);
        reply.setReadBufferSize(readBufferSize);
        QObject::connect(&reply, &QNetworkReply::readyRead, &guard, [&] { write(reply); });
        if (progress) {
            QObject::connect(&reply, &QNetworkReply::downloadProgress, &guard,
                             [&progress](qint64 received, qint64 total) { progress(received, total); });
        }
    });
    running.reset();

    QNetworkReply &reply = *transfer.reply;
    if (transfer.abortReason == net::AbortReason::None && reply.error() == QNetworkReply::NoError
        && isSuccess(reply)) {
        write(reply);
        if (!writeFailed && isWhole(reply, written) && file.commit())
            return true;
    }
    file.cancelWriting();
    oldFile.restore();
    return false;
}

void AbortAllTransfers()
{
    // Copied first: an abort finishes its reply, which may end its transfer.
    const auto replies = runningTransfers();
    // Queued: an abort from inside one of the reply's own signals would not
    // end its wait.
    for (const QPointer<QNetworkReply> &reply : replies) {
        if (reply)
            QMetaObject::invokeMethod(reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
    }
}

} // namespace tidewell
