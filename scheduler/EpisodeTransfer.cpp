#include "EpisodeTransfer.h"

#include "BodyDecoder.h"
#include "DoEvents.h"
#include "HttpExchange.h"
#include "HttpResponse.h"
#include "Network.h"
#include "NetworkRules.h"
#include "PartialDownload.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace tidewell {

namespace {

Failure refused(const QString &why)
{
    return {Failure::Kind::Refused, 0, why};
}

Failure local(const QString &why)
{
    return {Failure::Kind::Local, 0, why};
}

// "text/html; charset=utf-8" is a web page, whatever its parameters.
bool isWebPage(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return type == "text/html" || type == "application/xhtml+xml";
}

// A validator that names one exact version of the file, so that bytes sent
// later can be trusted to continue bytes sent before: a strong ETag, else
// the Last-Modified date.
QByteArray strongValidator(const net::HttpResponse &response)
{
    const QByteArray etag = net::cleanValidator(response.header("ETag"));
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return etag;
    return net::cleanValidator(response.header("Last-Modified"));
}

// "bytes 1048576-2097151/2097152": the first byte, and the whole size when given.
std::optional<std::pair<qint64, qint64>> contentRange(const QByteArray &header)
{
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes "))
        return std::nullopt;
    const qsizetype dash = value.indexOf('-');
    const qsizetype slash = value.indexOf('/');
    if (dash < 0 || slash < dash)
        return std::nullopt;
    bool ok = false;
    const qint64 first = value.mid(6, dash - 6).trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const qint64 whole = value.mid(slash + 1).trimmed().toLongLong(&ok);
    return std::pair{first, ok ? whole : qint64(-1)};
}

QString encodedUrl(const QUrl &url)
{
    return QString::fromLatin1(url.toEncoded());
}

} // namespace

EpisodeTransfer::EpisodeTransfer(Network &network, TransferRequest request, QObject *parent)
    : QObject(parent), m_network(network), m_request(std::move(request))
{
}

EpisodeTransfer::~EpisodeTransfer()
{
    // Destroyed while running (the program ending): the old file stays, and
    // what arrived stays for the next start when it is worth it.
    m_exchange.reset();
    if (m_partial && m_started && !m_finished)
        m_partial->keepIfWorthIt();
}

void EpisodeTransfer::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!net::isFetchable(net::podcastUrl(m_request.url))) {
        fail({Failure::Kind::Address, 0, QStringLiteral("the episode's address is not an http or https address")});
        return;
    }
    if (m_request.localPath.isEmpty()) {
        fail(local(QStringLiteral("no file to save the episode in")));
        return;
    }
    if (!QFileInfo(m_request.localPath).absoluteDir().exists()) {
        fail(local(QStringLiteral("cannot write %1: its folder does not exist").arg(m_request.localPath)));
        return;
    }
    m_partial = std::make_unique<PartialDownload>(m_request.localPath);
    m_resumeFrom = m_partial->resumableFor(m_request.url);
    m_resumable = m_resumeFrom > 0;
    startAttempt();
}

void EpisodeTransfer::startAttempt()
{
    m_conditionsSent = false;
    m_rangeSent = 0;
    m_notModified = false;
    m_askAgain = false;
    m_decoder.reset();
    m_expected = -1;
    m_exchange = std::make_unique<net::HttpExchange>(m_network, net::podcastUrl(m_request.url));
    // Audio does not compress, and only a body sent as it is can be counted
    // against its length as it arrives, and continued after a cut.
    m_exchange->setHeader("Accept-Encoding", "identity");
    m_exchange->headersFor = [this](const QUrl &hop) { return headersFor(hop); };
    m_exchange->onHead = [this](const net::HttpResponse &response) { return onHead(response); };
    m_exchange->onBody = [this](const char *data, qsizetype size) { return write(data, size); };
    connect(m_exchange.get(), &net::HttpExchange::finished, this, &EpisodeTransfer::attemptEnded);
    m_exchange->start();
}

QList<QPair<QByteArray, QByteArray>> EpisodeTransfer::headersFor(const QUrl &hop)
{
    // Validators and ranges belong to the address that gave them: a redirect
    // that now leads elsewhere gets neither, and answers in full.
    net::HeaderList headers;
    const QString address = encodedUrl(hop);
    m_conditionsSent = !m_unconditional && !m_request.validatedUrl.isEmpty() && address == m_request.validatedUrl;
    if (m_conditionsSent) {
        if (!m_request.etag.isEmpty())
            headers.append({"If-None-Match", m_request.etag});
        if (!m_request.lastModified.isEmpty())
            headers.append({"If-Modified-Since", m_request.lastModified});
    }
    const auto &origin = m_partial->origin();
    m_rangeSent = m_resumeFrom > 0 && origin && address == origin->answeredUrl ? m_resumeFrom : 0;
    if (m_rangeSent > 0) {
        headers.append({"Range", "bytes=" + QByteArray::number(m_rangeSent) + '-'});
        headers.append({"If-Range", origin->validator});
    }
    return headers;
}

bool EpisodeTransfer::onHead(const net::HttpResponse &response)
{
    const int status = response.status();
    m_outcome.httpStatus = status;
    m_outcome.httpReason = response.reason();
    if (status == 429 || status == 503)
        m_outcome.retryAfterSeconds = net::retryAfterSeconds(response.header("Retry-After"), QDateTime::currentDateTimeUtc());
    const auto refuse = [this](const Failure &failure) {
        m_exchange->fail(failure);
        return false;
    };
    if (status == 304 && m_conditionsSent) {
        // Only the version that was asked about may be confirmed.
        const QByteArray etag = net::cleanValidator(response.header("ETag"));
        m_notModified = etag.isEmpty() || etag == m_request.etag;
        m_askAgain = !m_notModified;
        return false;
    }
    if (status < 200 || status > 299)
        return refuse(Failure::http(status, QString::fromLatin1(response.reason())));
    if (isWebPage(response.header("Content-Type")))
        return refuse(refused(QStringLiteral("the address gives a web page, not an episode")));
    if (status == 206)
        return acceptPartial(response);
    QString error;
    m_decoder = BodyDecoder::forEncoding(response.header("Content-Encoding"), error);
    if (!m_decoder)
        return refuse(refused(error));
    // A body that only the connection's close ends cannot be told from a
    // cut one, so none of it is written (a live stream would never end).
    if (response.framing() == net::HttpResponse::Framing::UntilClose && !m_decoder->provesEnd())
        return refuse(refused(QStringLiteral("the server never said how long the file is, so a cut-off file cannot "
                                             "be told from a whole one; nothing of it was saved")));
    m_expected = response.contentLength().value_or(-1);
    return openPartial(response, false);
}

bool EpisodeTransfer::acceptPartial(const net::HttpResponse &response)
{
    if (m_rangeSent == 0) {
        m_exchange->fail(refused(QStringLiteral("the server sent only part of the file (HTTP 206), which was not "
                                                "asked for")));
        return false;
    }
    const QByteArray header = response.header("Content-Range");
    const auto range = contentRange(header);
    QString error;
    m_decoder = BodyDecoder::forEncoding(response.header("Content-Encoding"), error);
    if (!range || range->first != m_rangeSent || !m_decoder || m_decoder->provesEnd()) {
        m_partial->drop();
        m_exchange->fail(refused(QStringLiteral("the server's partial answer does not continue the file where it stops "
                                                "(at byte %1; Content-Range: %2)")
                                     .arg(m_rangeSent)
                                     .arg(QString::fromLatin1(header))));
        return false;
    }
    const std::optional<qint64> rest = response.contentLength();
    m_expected = range->second >= 0 ? range->second : (rest ? m_rangeSent + *rest : -1);
    return openPartial(response, true);
}

bool EpisodeTransfer::openPartial(const net::HttpResponse &response, bool append)
{
    QString error;
    if (!m_partial->open(append, error)) {
        m_exchange->fail(local(QStringLiteral("cannot write %1: %2").arg(m_request.localPath, error)));
        return false;
    }
    m_held = append ? m_rangeSent : 0;
    m_outcome.etag = net::cleanValidator(response.header("ETag"));
    m_outcome.lastModified = net::cleanValidator(response.header("Last-Modified"));
    m_outcome.answeredUrl = encodedUrl(m_exchange->url());
    // Only bytes sent as they are can be continued where they stop.
    const QByteArray validator = strongValidator(response);
    m_resumable = !validator.isEmpty() && !m_decoder->provesEnd();
    if (m_resumable)
        m_partial->remember({m_request.url, m_outcome.answeredUrl, validator});
    Q_EMIT progress(m_held, m_expected);
    return true;
}

bool EpisodeTransfer::write(const char *data, qsizetype size)
{
    m_outcome.bytesReceived += size;
    QString error;
    const bool decoded = m_decoder->decode(data, size, [&](const char *bytes, qsizetype length) {
        if (!m_partial->write(bytes, length, error)) {
            m_exchange->fail(local(QStringLiteral("cannot write %1: %2").arg(m_request.localPath, error)));
            return false;
        }
        m_held += length;
        return true;
    });
    if (!decoded) {
        if (error.isEmpty())
            m_exchange->fail({Failure::Kind::Protocol, 0, m_decoder->error()});
        return false;
    }
    Q_EMIT progress(m_held, m_expected);
    return true;
}

void EpisodeTransfer::attemptEnded()
{
    // Still inside the exchange's own signal: it goes with the next attempt's end.
    m_spent = std::move(m_exchange);
    const Failure failure = m_spent->failure();
    switch (failure.kind) {
    case Failure::Kind::None:
        break;
    case Failure::Kind::Incomplete:
    case Failure::Kind::Timeout:
    case Failure::Kind::Connection:
        if (!resumeAfterCut())
            fail(failure);
        return;
    default:
        fail(failure);
        return;
    }
    if (m_notModified) {
        succeed(TransferOutcome::Kind::Unchanged);
    } else if (m_askAgain) {
        m_unconditional = true;
        startAttempt();
    } else if (m_decoder && m_decoder->provesEnd() && !m_decoder->ended()) {
        fail({Failure::Kind::Incomplete, 0, QStringLiteral("the compressed file ended early")});
    } else if (m_held == 0) {
        fail(refused(QStringLiteral("the server sent an empty file (%1)")
                         .arg(Failure::http(m_outcome.httpStatus, QString::fromLatin1(m_outcome.httpReason)).text())));
    } else {
        commit();
    }
}

bool EpisodeTransfer::resumeAfterCut()
{
    if (!m_resumable || m_resumes >= resumesPerTransfer || m_held < PartialDownload::worthKeeping)
        return false;
    ++m_resumes;
    m_resumeFrom = m_held;
    startAttempt();
    return true;
}

void EpisodeTransfer::commit()
{
    QString error;
    if (!m_partial->replace(m_request.localPath, error)) {
        fail(local(QStringLiteral("cannot save %1: %2").arg(m_request.localPath, error)));
        return;
    }
    succeed(TransferOutcome::Kind::Downloaded);
}

void EpisodeTransfer::abort()
{
    if (!m_started || m_finished)
        return;
    if (m_exchange)
        m_exchange->abort(); // its end ends the transfer
    else
        fail({Failure::Kind::Stopped, 0, QStringLiteral("the transfer was stopped")});
}

void EpisodeTransfer::succeed(TransferOutcome::Kind kind)
{
    // The file standing there is the current one: bytes of another version
    // have nothing left to continue.
    if (kind == TransferOutcome::Kind::Unchanged)
        m_partial->drop();
    m_outcome.kind = kind;
    m_outcome.failure = {};
    finish();
}

void EpisodeTransfer::fail(const Failure &failure)
{
    if (m_finished)
        return;
    if (m_partial) {
        if (m_resumable)
            m_partial->keepIfWorthIt();
        else
            m_partial->drop();
    }
    m_outcome.kind = TransferOutcome::Kind::Failed;
    m_outcome.failure = failure;
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
