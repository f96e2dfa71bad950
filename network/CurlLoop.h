#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>

using CURL = void;
using CURLM = void;

class QSocketNotifier;

namespace tidewell::net {

// libcurl's multi interface on the Qt event loop: curl says which sockets to
// watch and when to wake it, QSocketNotifier and a single-shot QTimer do the
// watching, so transfers run side by side on the one thread with no thread
// and no busy loop of their own. One loop serves the whole program, which
// lets curl keep connections for reuse and multiplex HTTP/2.
class CurlLoop : public QObject
{
public:
    CurlLoop();
    ~CurlLoop() override;
    CurlLoop(const CurlLoop &) = delete;
    CurlLoop &operator=(const CurlLoop &) = delete;

    // Runs the transfer; `done` gets curl's result (a CURLcode) once it has
    // ended, from the event loop and outside every curl call.
    void add(CURL *easy, std::function<void(int result)> done);
    // Takes a transfer off the loop without calling its `done`. Never from
    // inside one of curl's callbacks for that transfer.
    void remove(CURL *easy);

private:
    struct Watch
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };

    static int onSocket(CURL *easy, int socket, int what, void *loop, void *);
    static int onTimer(CURLM *multi, long timeoutMs, void *loop);
    void watch(int socket, int what);
    void forget(int socket);
    void act(int socket, int events);
    void collectFinished();

    CURLM *m_multi;
    QTimer m_timer;
    std::map<int, Watch> m_watches;
    std::map<CURL *, std::function<void(int)>> m_running;
};

} // namespace tidewell::net
