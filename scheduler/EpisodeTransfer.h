#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSaveFile;

namespace tidewell {

class BodyDecoder;
class Network;
namespace net {
class HttpExchange;
}
class HttpResponseParser;

// What to fetch and where to put it.
struct TransferRequest
{
    QString url;       // http or https, or a podcast scheme standing for one
    QString localPath; // replaced only once the new body has arrived whole
    // The link names an audio or video file, so a web page in its place is
    // a captive portal's login page, not the episode.
    bool expectMedia = false;
    // Validators of the file now standing at localPath. When given, the
    // server may answer that nothing changed, and the file stays as it is.
    QByteArray etag;
    QByteArray lastModified;
};

// How a transfer ended, and why.
struct TransferOutcome
{
    enum class Kind
    {
        Downloaded,
        Unchanged, // the server confirmed the file at localPath is current
        Failed,
    };
    Kind kind = Kind::Failed;
    QString reason;   // in words for a person; empty unless failed
    int httpStatus = 0;
    QByteArray httpReason;
    QByteArray etag;  // the new file's validators, as the server gave them
    QByteArray lastModified;

    bool succeeded() const { return kind != Kind::Failed; }
};

// Bytes received so far, and the whole size when the server gave it (else -1).
using TransferProgress = std::function<void(qint64 received, qint64 total)>;

// One episode fetched into its file, asynchronously on the event loop. The
// body streams into a temporary file beside the destination, which replaces
// the old episode the moment the body is known to be whole: a Content-Length
// met, a chunked body's last chunk read, a compressed body's own end. Any
// other ending (an error page, a cut connection, a full disk, a stall, an
// abort) leaves the old file byte for byte and nothing else.
// It travels on the program's own HTTP exchange, under the network rules the
// feed reader follows.
class EpisodeTransfer : public QObject
{
    Q_OBJECT

public:
    EpisodeTransfer(Network &network, TransferRequest request, QObject *parent = nullptr);
    ~EpisodeTransfer() override;

    // May finish at once (an unusable URL or destination): connect first.
    void start();
    void abort();
    bool isFinished() const { return m_finished; }
    const TransferOutcome &outcome() const { return m_outcome; }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    void finished();

private:
    bool onHead(const HttpResponseParser &response);
    bool write(const char *data, qsizetype size);
    void exchangeEnded();
    void succeed(TransferOutcome::Kind kind);
    void fail(const QString &reason);
    void finish();

    Network &m_network;
    TransferRequest m_request;
    TransferOutcome m_outcome;
    bool m_started = false;
    bool m_finished = false;
    std::unique_ptr<QSaveFile> m_file;
    class WritableWhileReplacing;
    std::unique_ptr<WritableWhileReplacing> m_oldFile;
    std::unique_ptr<net::HttpExchange> m_exchange;
    std::unique_ptr<BodyDecoder> m_decoder;
    qint64 m_written = 0;
};

// Transfers and waits on a local event loop, so the window keeps painting
// and ticking meanwhile (callers must expect re-entry). The file is
// committed when its body is whole, whatever other wait is on the stack.
TransferOutcome TransferEpisode(Network &network, const TransferRequest &request,
                                const TransferProgress &progress = {});

// The blocking transfer the download job calls: pending window events run
// first; true when the file at localPath is now the episode at url.
bool DownloadFile(Network &network, const QString &url, const QString &localPath,
                  const TransferProgress &progress = {});

} // namespace tidewell
