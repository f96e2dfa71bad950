#include "LoopbackListener.h"

#include <QHostAddress>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <stdexcept>
#include <string>

namespace tidewell::test {

class LoopbackListener::Thread : public QThread
{
public:
    explicit Thread(Accept accept) : m_accept(std::move(accept)) {}

    quint16 waitUntilListening(const char *what)
    {
        m_ready.acquire();
        if (m_port == 0)
            throw std::runtime_error(std::string(what) + " could not listen");
        return m_port;
    }

protected:
    void run() override
    {
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost, 0))
            m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                m_accept(socket);
        });
        m_ready.release();
        if (m_port != 0)
            exec();
    }

private:
    Accept m_accept;
    QSemaphore m_ready;
    quint16 m_port = 0;
};

LoopbackListener::LoopbackListener(Accept accept, const char *what)
    : m_thread(std::make_unique<Thread>(std::move(accept)))
{
    m_thread->start();
    try {
        m_port = m_thread->waitUntilListening(what);
    } catch (...) {
        m_thread->wait();
        throw;
    }
}

LoopbackListener::~LoopbackListener()
{
    m_thread->quit();
    m_thread->wait();
}

} // namespace tidewell::test
