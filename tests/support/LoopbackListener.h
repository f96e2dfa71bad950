#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QTcpSocket;

namespace tidewell::test {

// A listening socket on 127.0.0.1 with a thread of its own: each connection
// is handed to `accept` on that thread, where it lives and dies; going
// stops the thread and so closes them all.
class LoopbackListener
{
public:
    using Accept = std::function<void(QTcpSocket *)>;

    // Listening when it returns; throws std::runtime_error naming `what`
    // when it cannot listen.
    LoopbackListener(Accept accept, const char *what);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    quint16 port() const { return m_port; }

private:
    class Thread;
    std::unique_ptr<Thread> m_thread;
    quint16 m_port = 0;
};

} // namespace tidewell::test
