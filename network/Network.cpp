#include "Network.h"

#include "CurlLoop.h"
#include "NetworkRules.h"

#include <QCoreApplication>
#include <QTimer>

#include <vector>

namespace tidewell {

Network::Network()
    : m_stallTimeout(net::defaultStallTimeout), m_minimumSpeed(net::defaultMinimumSpeed),
      m_feedDeadline(net::defaultFeedDeadline)
{
}

Network::~Network() = default;

void Network::setStallTimeout(std::chrono::milliseconds timeout)
{
    m_stallTimeout = timeout.count() > 0 ? timeout : net::defaultStallTimeout;
}

void Network::setMinimumSpeed(MinimumSpeed speed)
{
    m_minimumSpeed = speed.bytesPerSecond > 0 && speed.window.count() > 0 ? speed : net::defaultMinimumSpeed;
}

void Network::setFeedDeadline(std::chrono::milliseconds deadline)
{
    m_feedDeadline = deadline.count() > 0 ? deadline : net::defaultFeedDeadline;
}

net::CurlLoop &Network::loop()
{
    if (!m_loop)
        m_loop = std::make_unique<net::CurlLoop>();
    return *m_loop;
}

Network::Registration::Registration(Network *network, std::list<std::function<void()>>::iterator entry)
    : m_network(network), m_entry(entry)
{
}

Network::Registration::Registration(Registration &&other) noexcept
    : m_network(std::exchange(other.m_network, nullptr)), m_entry(other.m_entry)
{
}

Network::Registration &Network::Registration::operator=(Registration &&other) noexcept
{
    if (this != &other) {
        release();
        m_network = std::exchange(other.m_network, nullptr);
        m_entry = other.m_entry;
    }
    return *this;
}

Network::Registration::~Registration()
{
    release();
}

void Network::Registration::release()
{
    if (m_network)
        m_network->m_running.erase(m_entry);
    m_network = nullptr;
}

Network::Registration Network::registerRunning(std::function<void()> abort)
{
    m_running.push_back(std::move(abort));
    return Registration(this, std::prev(m_running.end()));
}

void Network::abortAll()
{
    // Copied first: an abort ends its operation, which unregisters it.
    const std::vector<std::function<void()>> aborts(m_running.begin(), m_running.end());
    QTimer::singleShot(0, QCoreApplication::instance(), [aborts] {
        for (const auto &abort : aborts)
            abort();
    });
}

} // namespace tidewell
