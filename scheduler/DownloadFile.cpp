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
constexpr qint64 readBufferSize = 1 << 20;

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
    if (!file.open(QIODevice::WriteOnly)) {
        oldFile.restore();
        return false;
    }

    QNetworkAccessManager manager;
    const std::unique_ptr<QNetworkReply> reply(manager.get(net::makeRequest(source)));
    reply->setReadBufferSize(readBufferSize);
    net::ReplyGuard guard(*reply);
    const RunningTransfer running(reply.get());

    bool writeFailed = false;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        // An error page is never written: only the body of a 2xx response.
        if (writeFailed || !isSuccess(*reply)) {
            reply->readAll();
            return;
        }
        const QByteArray chunk = reply->readAll();
        if (file.write(chunk) != chunk.size()) {
            writeFailed = true; // a full disk, say
            reply->abort();
        }
    });
    if (progress) {
        QObject::connect(reply.get(), &QNetworkReply::downloadProgress, reply.get(),
                         [&](qint64 received, qint64 total) { progress(received, total); });
    }

    const bool finished = net::waitForFinished(*reply);
    const bool whole = finished && !writeFailed && reply->error() == QNetworkReply::NoError
        && guard.abortReason() == net::AbortReason::None && isSuccess(*reply);
    if (whole) {
        const QByteArray rest = reply->readAll();
        if (file.write(rest) == rest.size() && file.commit())
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
    for (const QPointer<QNetworkReply> &reply : replies) {
        if (reply)
            reply->abort();
    }
}

} // namespace tidewell
