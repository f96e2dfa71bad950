#pragma once

#include "LoopbackListener.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace tidewell::test {

// A SOCKS5 proxy on 127.0.0.1 and an ephemeral port, on a thread of its own.
// Whatever host a client asks for, it connects to 127.0.0.1 at the target
// port, so a test can use a name that only the proxy can reach. With a user
// and a password it asks for them (RFC 1929) and refuses any others.
class Socks5Proxy
{
public:
    explicit Socks5Proxy(quint16 targetPort, const QByteArray &user = {}, const QByteArray &password = {});
    ~Socks5Proxy();
    Socks5Proxy(const Socks5Proxy &) = delete;
    Socks5Proxy &operator=(const Socks5Proxy &) = delete;

    quint16 port() const { return m_listener->port(); }
    // The hosts clients asked to be connected to, in order.
    QList<QByteArray> hostsAsked() const;

    class State;

private:
    std::shared_ptr<State> m_state;
    std::unique_ptr<LoopbackListener> m_listener;
};

} // namespace tidewell::test
