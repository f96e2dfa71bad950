#pragma once

#include "Failure.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace tidewell {

class BodyDecoder;
class Network;
class PartialDownload;
namespace net {
class HttpExchange;
class HttpResponse;
}

// What to fetch and where to put it.
struct TransferRequest
{
    QString url;       // http or https, or a podcast scheme standing for one
    QString localPath; // replaced only once the new body has arrived whole
    // Validators of the file now standing at localPath and the address that
    // answered them. They are sent to that address only, and a "not
    // modified" counts only from there.
    QString validatedUrl;
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
    Failure failure;  // why, when it failed
    int httpStatus = 0; // of the last answer, whatever it was
    QByteArray httpReason;
    // The new file's validators, as the server gave them, and the address
    // that gave them (after redirects).
    QByteArray etag;
    QByteArray lastModified;
    QString answeredUrl;
    // How long a server that answered 429 or 503 asked to be left alone.
    std::optional<qint64> retryAfterSeconds;
    qint64 bytesReceived = 0; // body bytes over the network, every try included

    bool succeeded() const { return kind != Kind::Failed; }
};

// Bytes received so far, and the whole size when the server gave it (else -1).
using TransferProgress = std::function<void(qint64 received, qint64 total)>;

// One episode fetched into its file, asynchronously on the event loop. The
// body streams into a partial file in the state folder, which replaces the
// old episode the moment the body is known to be whole: a Content-Length
// met, a chunked body's last chunk read, an HTTP/2 stream's end, a
// compressed body's own end. Any other ending (an error page, a web page, a
// cut connection, a full disk, a stall, an abort) leaves the old file byte
// for byte. A transfer cut after a good part has arrived goes on from where
// it stopped (twice at most, then on the next try) when the server can
// prove, by a strong validator, that the rest belongs to the same file.
class EpisodeTransfer : public QObject
{
    Q_OBJECT

public:
    static constexpr int resumesPerTransfer = 2;

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
    void startAttempt();
    QList<QPair<QByteArray, QByteArray>> headersFor(const QUrl &hop);
    bool onHead(const net::HttpResponse &response);
    bool acceptPartial(const net::HttpResponse &response);
    bool openPartial(const net::HttpResponse &response, bool append);
    bool write(const char *data, qsizetype size);
    void attemptEnded();
    bool resumeAfterCut();
    void commit();
    void succeed(TransferOutcome::Kind kind);
    void fail(const Failure &failure);
    void finish();

    Network &m_network;
    TransferRequest m_request;
    TransferOutcome m_outcome;
    std::unique_ptr<PartialDownload> m_partial;
    std::unique_ptr<net::HttpExchange> m_exchange;
    std::unique_ptr<net::HttpExchange> m_spent; // the attempt before, kept until its signal is over
    std::unique_ptr<BodyDecoder> m_decoder;
    bool m_started = false;
    bool m_finished = false;
    // What the last hop of the running attempt was sent.
    bool m_conditionsSent = false;
    qint64 m_rangeSent = 0; // the byte the answer was asked to start from
    // What the running attempt came to.
    bool m_unconditional = false; // the validators were not those of the file
    bool m_notModified = false;
    bool m_askAgain = false;      // a 304 for another version: once more without conditions
    bool m_resumable = false;     // a strong validator stands behind the partial
    qint64 m_resumeFrom = 0;
    int m_resumes = 0;
    qint64 m_held = 0;            // bytes of the episode in the partial file
    qint64 m_expected = -1;       // the whole size, when known
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
