#include "Socks5Proxy.h"

#include <QHostAddress>
#include <QtEndian>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpSocket>


namespace tidewell::test {

class Socks5Proxy::State
{
public:
    State(quint16 target, QByteArray user, QByteArray password)
        : target(target), user(std::move(user)), password(std::move(password))
    {
    }

    void asked(const QByteArray &host)
    {
        QMutexLocker lock(&m_mutex);
        m_hosts.append(host);
    }

    QList<QByteArray> hosts() const
    {
        QMutexLocker lock(&m_mutex);
        return m_hosts;
    }

    const quint16 target;
    const QByteArray user;
    const QByteArray password;

private:
    mutable QMutex m_mutex;
    QList<QByteArray> m_hosts;
};

namespace {

// One client: the greeting, the credentials when asked for, the CONNECT,
// then bytes relayed both ways until either side closes.
class Session : public QObject
{
public:
    Session(QTcpSocket *client, Socks5Proxy::State &state) : QObject(client), m_client(*client), m_state(state)
    {
        connect(client, &QTcpSocket::readyRead, this, [this] { read(); });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

private:
    enum class Step { Greeting, Credentials, Request, Relaying };

    void read()
    {
        m_input += m_client.readAll();
        while (step())
            ;
    }

    // Handles one step when its bytes are all there.
    bool step()
    {
        switch (m_step) {
        case Step::Greeting: {
            if (m_input.size() < 2 || m_input.size() < 2 + static_cast<quint8>(m_input[1]))
                return false;
            const QByteArray methods = m_input.mid(2, static_cast<quint8>(m_input[1]));
            m_input.remove(0, 2 + methods.size());
            const char wanted = m_state.user.isEmpty() ? '\x00' : '\x02';
            if (!methods.contains(wanted)) {
                m_client.write(QByteArray("\x05\xff", 2));
                m_client.disconnectFromHost();
                return false;
            }
            m_client.write(QByteArray("\x05", 1) + wanted);
            m_step = wanted == '\x02' ? Step::Credentials : Step::Request;
            return true;
        }
        case Step::Credentials: {
            if (m_input.size() < 2)
                return false;
            const int userLength = static_cast<quint8>(m_input[1]);
            if (m_input.size() < 3 + userLength)
                return false;
            const int passwordLength = static_cast<quint8>(m_input[2 + userLength]);
            if (m_input.size() < 3 + userLength + passwordLength)
                return false;
            const QByteArray user = m_input.mid(2, userLength);
            const QByteArray password = m_input.mid(3 + userLength, passwordLength);
            m_input.remove(0, 3 + userLength + passwordLength);
            const bool right = user == m_state.user && password == m_state.password;
            m_client.write(QByteArray(right ? "\x01\x00" : "\x01\x01", 2));
            if (!right) {
                m_client.disconnectFromHost();
                return false;
            }
            m_step = Step::Request;
            return true;
        }
        case Step::Request:
            return request();
        case Step::Relaying:
            if (m_upstream && !m_input.isEmpty())
                m_upstream->write(std::exchange(m_input, {}));
            return false;
        }
        return false;
    }

    bool request()
    {
        if (m_input.size() < 5)
            return false;
        QByteArray host;
        qsizetype length = 0;
        switch (m_input[3]) {
        case 1:
            length = 4 + 4 + 2;
            if (m_input.size() >= length)
                host = QHostAddress(qFromBigEndian<quint32>(m_input.constData() + 4)).toString().toLatin1();
            break;
        case 3:
            length = 5 + static_cast<quint8>(m_input[4]) + 2;
            host = m_input.mid(5, static_cast<quint8>(m_input[4]));
            break;
        default:
            m_client.disconnectFromHost();
            return false;
        }
        if (m_input.size() < length)
            return false;
        m_input.remove(0, length);
        m_state.asked(host);
        m_upstream = new QTcpSocket(this);
        connect(m_upstream, &QTcpSocket::connected, this, [this] {
            m_client.write(QByteArray("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
            m_step = Step::Relaying;
            read();
        });
        connect(m_upstream, &QTcpSocket::readyRead, this, [this] { m_client.write(m_upstream->readAll()); });
        connect(m_upstream, &QTcpSocket::disconnected, &m_client, &QTcpSocket::disconnectFromHost);
        connect(&m_client, &QTcpSocket::disconnected, m_upstream, &QTcpSocket::disconnectFromHost);
        m_upstream->connectToHost(QHostAddress::LocalHost, m_state.target);
        return false;
    }

    QTcpSocket &m_client;
    Socks5Proxy::State &m_state;
    QTcpSocket *m_upstream = nullptr;
    QByteArray m_input;
    Step m_step = Step::Greeting;
};

} // namespace


Socks5Proxy::Socks5Proxy(quint16 targetPort, const QByteArray &user, const QByteArray &password)
    : m_state(std::make_shared<State>(targetPort, user, password)),
      m_listener(std::make_unique<LoopbackListener>(
          [state = m_state](QTcpSocket *socket) { new Session(socket, *state); }, "the SOCKS proxy"))
{
}

Socks5Proxy::~Socks5Proxy() = default;

QList<QByteArray> Socks5Proxy::hostsAsked() const
{
    return m_state->hosts();
}

} // namespace tidewell::test
