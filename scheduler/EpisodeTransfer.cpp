#include "EpisodeTransfer.h"

#include "BodyDecoder.h"
#include "DoEvents.h"
#include "HttpExchange.h"
#include "HttpResponseParser.h"
#include "Network.h"
#include "NetworkRules.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tidewell {

namespace {

QString describeStatus(int status, const QByteArray &reason)
{
    QString text = QStringLiteral("HTTP %1").arg(status);
    if (!reason.isEmpty())
        text += QLatin1Char(' ') + QString::fromLatin1(reason);
    return text;
}

// "text/html; charset=utf-8" is a web page, whatever its parameters.
bool isWebPage(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return type == "text/html" || type == "application/xhtml+xml";
}

} // namespace

// QSaveFile refuses to replace a file it may not write; the old episode is
// replaced all the same, so it is made writable for the transfer (and given
// its permissions back if the transfer does not replace it).
class EpisodeTransfer::WritableWhileReplacing
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
        m_changed = false;
    }

private:
    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_changed = false;
};

EpisodeTransfer::EpisodeTransfer(Network &network, TransferRequest request, QObject *parent)
    : QObject(parent), m_network(network), m_request(std::move(request))
{
}

EpisodeTransfer::~EpisodeTransfer()
{
    // Destroyed while running (the program ending): nothing may be left.
    if (m_started && !m_finished) {
        m_exchange.reset();
        if (m_file)
            m_file->cancelWriting();
        if (m_oldFile)
            m_oldFile->restore();
    }
}

void EpisodeTransfer::start()
{
    if (m_started)
        return;
    m_started = true;
    const QUrl url = net::podcastUrl(m_request.url);
    if (!net::isFetchable(url)) {
        fail(QStringLiteral("the episode's address is not an http or https address"));
        return;
    }
    if (m_request.localPath.isEmpty()) {
        fail(QStringLiteral("no file to save the episode in"));
        return;
    }
    m_oldFile = std::make_unique<WritableWhileReplacing>(m_request.localPath);
    m_file = std::make_unique<QSaveFile>(m_request.localPath);
    // Unbuffered: the chunks are large already, and a second copy costs.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(QStringLiteral("cannot write %1: %2").arg(m_request.localPath, m_file->errorString()));
        return;
    }
    m_exchange = std::make_unique<net::HttpExchange>(m_network, url);
    // Audio does not compress, and only a body sent as it is can be counted
    // against its length as it arrives.
    m_exchange->setHeader("Accept-Encoding", "identity");
    if (!m_request.etag.isEmpty())
        m_exchange->setHeader("If-None-Match", m_request.etag);
    if (!m_request.lastModified.isEmpty())
        m_exchange->setHeader("If-Modified-Since", m_request.lastModified);
    m_exchange->onHead = [this](const HttpResponseParser &response) { return onHead(response); };
    m_exchange->onBody = [this](const char *data, qsizetype size) { return write(data, size); };
    connect(m_exchange.get(), &net::HttpExchange::finished, this, &EpisodeTransfer::exchangeEnded);
    m_exchange->start();
}

void EpisodeTransfer::abort()
{
    if (!m_started || m_finished)
        return;
    if (m_exchange)
        m_exchange->abort(); // its end ends the transfer
    else
        fail(QStringLiteral("the transfer was stopped"));
}

bool EpisodeTransfer::onHead(const HttpResponseParser &response)
{
    const int status = response.status();
    m_outcome.httpStatus = status;
    m_outcome.httpReason = response.reason();
    const bool conditional = !m_request.etag.isEmpty() || !m_request.lastModified.isEmpty();
    if (status == 304 && conditional)
        return false; // nothing more to read: the file standing there is current
    if (status < 200 || status > 299) {
        m_exchange->fail(describeStatus(status, response.reason()));
        return false;
    }
    if (status == 206) {
        m_exchange->fail(QStringLiteral("the server sent only part of the file (HTTP 206), which was not asked for"));
        return false;
    }
    if (m_request.expectMedia && isWebPage(response.header("Content-Type"))) {
        m_exchange->fail(QStringLiteral("the server sent a web page instead of the episode (a network login page?)"));
        return false;
    }
    QString error;
    m_decoder = BodyDecoder::forEncoding(response.header("Content-Encoding"), error);
    if (!m_decoder) {
        m_exchange->fail(error);
        return false;
    }
    m_outcome.etag = response.header("ETag");
    m_outcome.lastModified = response.header("Last-Modified");
    Q_EMIT progress(0, response.contentLength().value_or(-1));
    return true;
}

bool EpisodeTransfer::write(const char *data, qsizetype size)
{
    const bool decoded = m_decoder->decode(data, size, [this](const char *bytes, qsizetype length) {
        if (m_file->write(bytes, length) != length) {
            m_exchange->fail(QStringLiteral("cannot write %1: %2").arg(m_request.localPath, m_file->errorString()));
            return false;
        }
        m_written += length;
        return true;
    });
    if (!decoded) {
        m_exchange->fail(m_decoder->error()); // no effect when the write failed first
        return false;
    }
    const HttpResponseParser &response = m_exchange->response();
    Q_EMIT progress(response.bodyReceived(), response.contentLength().value_or(-1));
    return true;
}

void EpisodeTransfer::exchangeEnded()
{
    const net::HttpExchange &exchange = *m_exchange;
    if (exchange.error() != net::HttpExchange::Error::None) {
        fail(exchange.errorString());
        return;
    }
    const HttpResponseParser &response = exchange.response();
    if (response.state() == HttpResponseParser::State::Stopped) {
        succeed(TransferOutcome::Kind::Unchanged); // the 304 above
        return;
    }
    // Whole only when the body's own end was seen: the length met, the last
    // chunk read, or a compressed stream's end.
    const bool framed = response.framing() != HttpResponseParser::Framing::UntilClose;
    if (m_decoder->provesEnd() && !m_decoder->ended()) {
        fail(QStringLiteral("the compressed file ended early"));
    } else if (!framed && !m_decoder->provesEnd()) {
        fail(QStringLiteral("the connection closed and the server never said how long the file is, so a cut-off "
                            "file cannot be told from a whole one"));
    } else if (m_written == 0) {
        fail(QStringLiteral("the server sent an empty file (%1)").arg(describeStatus(m_outcome.httpStatus,
                                                                                       m_outcome.httpReason)));
    } else {
        succeed(TransferOutcome::Kind::Downloaded);
    }
}

void EpisodeTransfer::succeed(TransferOutcome::Kind kind)
{
    if (kind == TransferOutcome::Kind::Downloaded && !m_file->commit()) {
        fail(QStringLiteral("cannot save %1: %2").arg(m_request.localPath, m_file->errorString()));
        return;
    }
    if (kind == TransferOutcome::Kind::Unchanged) {
        m_file->cancelWriting();
        m_oldFile->restore();
    }
    m_outcome.kind = kind;
    m_outcome.reason.clear();
    finish();
}

void EpisodeTransfer::fail(const QString &reason)
{
    if (m_finished)
        return;
    if (m_file)
        m_file->cancelWriting();
    if (m_oldFile)
        m_oldFile->restore();
    m_outcome.kind = TransferOutcome::Kind::Failed;
    m_outcome.reason = reason;
    finish();
}

void EpisodeTransfer::finish()
{
    m_finished = true;
    Q_EMIT finished();
}

TransferOutcome TransferEpisode(Network &network, const TransferRequest &request, const TransferProgress &progress)
{
    EpisodeTransfer transfer(network, request);
    if (progress)
        QObject::connect(&transfer, &EpisodeTransfer::progress, &transfer, progress);
    QEventLoop loop;
    QObject::connect(&transfer, &EpisodeTransfer::finished, &loop, &QEventLoop::quit);
    transfer.start();
    if (!transfer.isFinished())
        loop.exec();
    // The wait also ends when the application quits.
    transfer.abort();
    return transfer.outcome();
}

bool DownloadFile(Network &network, const QString &url, const QString &localPath, const TransferProgress &progress)
{
    DoEvents();
    TransferRequest request;
    request.url = url;
    request.localPath = localPath;
    return TransferEpisode(network, request, progress).succeeded();
}

} // namespace tidewell
