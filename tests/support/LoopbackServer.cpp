#include "LoopbackServer.h"

#include <QMutex>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QTimer>

#include <map>
#include <optional>

namespace tidewell::test {

namespace {

// Keeps the socket's own buffer small however large the body: the rest is
// written as the peer takes it.
constexpr qint64 writeChunk = 256 * 1024;

QByteArray usualReason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 418: return "I'm a teapot";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// The path of a request target: an absolute URL loses scheme and host, and
// any target loses its query.
QByteArray pathOf(const QByteArray &target)
{
    QByteArray path = target;
    if (path.startsWith("http://") || path.startsWith("https://")) {
        const qsizetype slash = path.indexOf('/', path.indexOf("//") + 2);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }
    const qsizetype query = path.indexOf('?');
    return query < 0 ? path : path.left(query);
}

std::optional<LoopbackServer::Request> parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3)
        return std::nullopt;
    LoopbackServer::Request request;
    request.method = requestLine[0];
    request.target = requestLine[1];
    request.path = pathOf(request.target);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return request;
}

} // namespace

QByteArray LoopbackServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

LoopbackServer::Reply LoopbackServer::Reply::ok(const QByteArray &body, const QByteArray &contentType)
{
    return withStatus(200, body, contentType);
}

LoopbackServer::Reply LoopbackServer::Reply::withStatus(int status, const QByteArray &body, const QByteArray &contentType)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    reply.header("Content-Type", contentType);
    return reply;
}

LoopbackServer::Reply LoopbackServer::Reply::redirect(int status, const QByteArray &location)
{
    return withStatus(status).header("Location", location);
}

LoopbackServer::Reply &LoopbackServer::Reply::header(const QByteArray &name, const QByteArray &value)
{
    headers.append({name, value});
    return *this;
}

QByteArray LoopbackServer::basicCredentials(const QByteArray &user, const QByteArray &password)
{
    return "Basic " + (user + ':' + password).toBase64();
}

// What the test thread programs and the server thread reads and records.
class LoopbackServer::State
{
public:
    void serve(const QByteArray &path, Handler handler)
    {
        QMutexLocker lock(&m_mutex);
        m_handlers[path] = std::move(handler);
    }

    void requireProxyCredentials(const QByteArray &expected)
    {
        QMutexLocker lock(&m_mutex);
        m_proxyCredentials = expected;
    }

    Reply answer(const Request &request)
    {
        Handler handler;
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(request);
            ++m_hits[request.path];
            if (request.viaProxy() && m_proxyCredentials &&
                request.header("Proxy-Authorization") != *m_proxyCredentials)
                return Reply::withStatus(407, "proxy credentials needed")
                    .header("Proxy-Authenticate", "Basic realm=\"loopback proxy\"");
            const auto found = m_handlers.find(request.path);
            if (found == m_handlers.end())
                return Reply::withStatus(404, "not found");
            handler = found->second;
        }
        return handler(request);
    }

    int hits(const QByteArray &path) const
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_hits.find(path);
        return found == m_hits.end() ? 0 : found->second;
    }

    QList<Request> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }

    void countTlsHandshake()
    {
        QMutexLocker lock(&m_mutex);
        ++m_tlsHandshakes;
    }

    int tlsHandshakes() const
    {
        QMutexLocker lock(&m_mutex);
        return m_tlsHandshakes;
    }

    void answerBegins()
    {
        QMutexLocker lock(&m_mutex);
        m_peakAnswering = std::max(m_peakAnswering, ++m_answering);
    }

    void answerEnds()
    {
        QMutexLocker lock(&m_mutex);
        --m_answering;
    }

    int peakConcurrentAnswers() const
    {
        QMutexLocker lock(&m_mutex);
        return m_peakAnswering;
    }

private:
    mutable QMutex m_mutex;
    std::map<QByteArray, Handler> m_handlers;
    std::map<QByteArray, int> m_hits;
    QList<Request> m_requests;
    std::optional<QByteArray> m_proxyCredentials;
    int m_tlsHandshakes = 0;
    int m_answering = 0;
    int m_peakAnswering = 0;
};

// One client connection: reads requests one after another and writes each
// answer as the client takes it.
class LoopbackServer::Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, State &state) : QObject(socket), m_socket(*socket), m_state(state)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { writeMore(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
    ~Connection() override
    {
        if (m_answering)
            m_state.answerEnds();
    }

private:
    void onReadyRead()
    {
        m_input += m_socket.readAll();
        if (m_input.startsWith('\x16')) { // a TLS record: the client expected https
            m_state.countTlsHandshake();
            m_socket.abort();
            return;
        }
        nextRequest();
    }

    void nextRequest()
    {
        while (!m_answering) {
            const qsizetype end = m_input.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const std::optional<Request> request = parseHead(m_input.left(end));
            m_input.remove(0, end + 4);
            if (!request) {
                m_socket.abort();
                return;
            }
            startAnswer(m_state.answer(*request));
        }
    }

    void startAnswer(const Reply &reply)
    {
        m_answering = true;
        m_state.answerBegins();
        m_reply = reply;
        m_sent = 0;
        m_streamEnded = !reply.stream;
        if (reply.ending == Reply::Ending::StallBeforeHeaders)
            return;
        m_socket.write(reply.rawHead.isEmpty() ? head(reply) : reply.rawHead);
        if (reply.trickleMs > 0) {
            auto *trickle = new QTimer(this);
            connect(trickle, &QTimer::timeout, this, [this, trickle] {
                if (m_sent < bodyLimit()) {
                    writeBody(m_reply.body.mid(m_sent, 1));
                    ++m_sent;
                    return;
                }
                if (!m_streamEnded) {
                    writeStreamPiece();
                    return;
                }
                trickle->deleteLater();
                m_reply.trickleMs = 0;
                writeMore();
            });
            trickle->start(reply.trickleMs);
            return;
        }
        writeMore();
    }

    static QByteArray head(const Reply &reply)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' +
                          (reply.reason.isEmpty() ? usualReason(reply.status) : reply.reason) + "\r\n";
        for (const auto &[name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (reply.chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (reply.contentLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!reply.contentLength && !reply.chunked)
            head += "Connection: close\r\n";
        return head + "\r\n";
    }

    void writeBody(const QByteArray &piece)
    {
        if (piece.isEmpty())
            return;
        if (m_reply.chunked)
            m_socket.write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        else
            m_socket.write(piece);
    }

    void writeStreamPiece()
    {
        const QByteArray more = m_reply.stream();
        m_streamEnded = more.isEmpty();
        if (m_reply.chunked)
            writeBody(more);
        else
            m_socket.write(more);
    }

    qint64 bodyLimit() const
    {
        const bool cut = m_reply.ending == Reply::Ending::StallAfter || m_reply.ending == Reply::Ending::DropAfter;
        return cut ? std::min<qint64>(m_reply.cutAfter, m_reply.body.size()) : m_reply.body.size();
    }

    void writeMore()
    {
        if (!m_answering || m_reply.ending == Reply::Ending::StallBeforeHeaders || m_reply.trickleMs > 0)
            return;
        const qint64 limit = bodyLimit();
        while (m_sent < limit && m_socket.bytesToWrite() < writeChunk) {
            const qint64 size = std::min(writeChunk, limit - m_sent);
            // A copy: the socket may keep the bytes it was given past the
            // reply's end, and a handler's body may be the reply's alone.
            writeBody(m_reply.body.mid(m_sent, size));
            m_sent += size;
        }
        if (m_sent < limit || m_finishing)
            return;
        while (!m_streamEnded && m_socket.bytesToWrite() < writeChunk)
            writeStreamPiece();
        if (!m_streamEnded)
            return;
        switch (m_reply.ending) {
        case Reply::Ending::StallAfter:
            break; // hold the connection open and silent
        case Reply::Ending::DropAfter:
            m_finishing = true;
            m_socket.disconnectFromHost();
            break;
        case Reply::Ending::Complete:
            if (m_reply.chunked)
                m_socket.write("0\r\n\r\n");
            if (!m_reply.contentLength && !m_reply.chunked) {
                m_finishing = true;
                m_socket.disconnectFromHost();
                break;
            }
            m_answering = false;
            m_state.answerEnds();
            m_reply = Reply();
            nextRequest();
            break;
        case Reply::Ending::StallBeforeHeaders:
            break;
        }
    }

    QTcpSocket &m_socket;
    State &m_state;
    QByteArray m_input;
    bool m_answering = false;
    bool m_finishing = false;
    bool m_streamEnded = true;
    Reply m_reply;
    qint64 m_sent = 0;
};


LoopbackServer::LoopbackServer()
    : m_state(std::make_shared<State>()),
      m_listener(std::make_unique<LoopbackListener>(
          // Each connection is owned by its socket, which the listener's server owns.
          [state = m_state](QTcpSocket *socket) { new Connection(socket, *state); }, "the loopback server"))
{
}

LoopbackServer::~LoopbackServer() = default;

QString LoopbackServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(port()) + path;
}

void LoopbackServer::serve(const QByteArray &path, const Reply &reply)
{
    m_state->serve(path, [reply](const Request &) { return reply; });
}

void LoopbackServer::serve(const QByteArray &path, Handler handler)
{
    m_state->serve(path, std::move(handler));
}

void LoopbackServer::requireProxyCredentials(const QByteArray &user, const QByteArray &password)
{
    m_state->requireProxyCredentials(basicCredentials(user, password));
}

int LoopbackServer::hits(const QByteArray &path) const
{
    return m_state->hits(path);
}

QList<LoopbackServer::Request> LoopbackServer::requests() const
{
    return m_state->requests();
}

int LoopbackServer::tlsHandshakes() const
{
    return m_state->tlsHandshakes();
}

int LoopbackServer::peakConcurrentAnswers() const
{
    return m_state->peakConcurrentAnswers();
}

} // namespace tidewell::test
