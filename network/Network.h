#pragma once

#include <QNetworkProxy>
#include <QUrl>

#include <chrono>
#include <functional>
#include <list>
#include <memory>

namespace tidewell {

// The program's one network object. It carries what the network rules leave
// to the run (how long a transfer may stay silent, which proxy to use) and
// knows every transfer and feed request that is running, so that closing the
// window or a SIGTERM can abort them all. The program makes one and passes
// it to whatever fetches; tests make their own with their own time-outs. It
// must outlive everything that runs on it.
class Network
{
public:
    Network();
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    std::chrono::milliseconds stallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout);

    // The proxy for a URL: the system's choice, but loopback addresses are
    // always reached directly.
    QNetworkProxy proxyFor(const QUrl &url) const;

    // Keeps an abort handler on the list while the registration lives. The
    // handler may run after its operation has ended, and must then do nothing.
    class Registration
    {
    public:
        Registration() = default;
        Registration(Registration &&other) noexcept;
        Registration &operator=(Registration &&other) noexcept;
        ~Registration();

    private:
        friend class Network;
        Registration(Network *network, std::list<std::function<void()>>::iterator entry);
        void release();
        Network *m_network = nullptr;
        std::list<std::function<void()>>::iterator m_entry;
    };
    [[nodiscard]] Registration registerRunning(std::function<void()> abort);

    // Aborts everything running. The aborts are queued, so an abort asked for
    // from inside a transfer's own signal still ends its wait.
    void abortAll();
    int runningCount() const { return static_cast<int>(m_running.size()); }

private:
    std::chrono::milliseconds m_stallTimeout;
    std::list<std::function<void()>> m_running;
};

} // namespace tidewell
