#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <list>
#include <memory>

namespace tidewell {

namespace net {
class CurlLoop;
}

// The program's one network object. It carries what the network rules leave
// to the run (how long a transfer may stay silent or crawl, how long a feed
// may take, a proxy chosen by hand), owns the one transfer loop every
// request shares, so connections are reused, and knows every transfer and
// feed request that is running, so that closing the window or a SIGTERM can
// abort them all. The program makes one and passes it to whatever fetches;
// tests make their own with shorter limits. It must outlive everything that
// runs on it, and it needs a running Qt event loop.
class Network
{
public:
    Network();
    ~Network();
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;

    // A transfer that receives nothing for this long is abandoned.
    std::chrono::milliseconds stallTimeout() const { return m_stallTimeout; }
    void setStallTimeout(std::chrono::milliseconds timeout);

    // A transfer that receives less than `bytesPerSecond` on average over
    // `window` is abandoned; the window counts in whole seconds.
    struct MinimumSpeed
    {
        long bytesPerSecond;
        std::chrono::seconds window;
    };
    MinimumSpeed minimumSpeed() const { return m_minimumSpeed; }
    void setMinimumSpeed(MinimumSpeed speed);

    // The longest a feed request may take in all, however steadily it trickles.
    std::chrono::milliseconds feedDeadline() const { return m_feedDeadline; }
    void setFeedDeadline(std::chrono::milliseconds deadline);

    // A proxy for every request, loopback included (tests, and a user's
    // choice by hand); empty means the environment's (http_proxy,
    // https_proxy, all_proxy, no_proxy), which never applies to loopback.
    const QString &proxy() const { return m_proxy; }
    void setProxy(const QString &proxyUrl) { m_proxy = proxyUrl; }

    net::CurlLoop &loop();

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
    MinimumSpeed m_minimumSpeed;
    std::chrono::milliseconds m_feedDeadline;
    QString m_proxy;
    std::unique_ptr<net::CurlLoop> m_loop;
    std::list<std::function<void()>> m_running;
};

} // namespace tidewell
