#include "CurlLoop.h"

#include <QSocketNotifier>

#include <curl/curl.h>

#include <mutex>

namespace tidewell::net {

namespace {

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

CurlLoop::CurlLoop()
{
    initialiseCurlOnce();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlLoop::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlLoop::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlLoop::~CurlLoop()
{
    for (const auto &[easy, done] : m_running)
        curl_multi_remove_handle(m_multi, easy);
    curl_multi_cleanup(m_multi);
    for (const auto &[socket, watch] : m_watches) {
        delete watch.read;
        delete watch.write;
    }
}

void CurlLoop::add(CURL *easy, std::function<void(int)> done)
{
    m_running[easy] = std::move(done);
    // curl asks for its first wake-up through the timer callback.
    curl_multi_add_handle(m_multi, easy);
}

void CurlLoop::remove(CURL *easy)
{
    if (m_running.erase(easy))
        curl_multi_remove_handle(m_multi, easy);
}

int CurlLoop::onSocket(CURL *, curl_socket_t socket, int what, void *loop, void *)
{
    auto *self = static_cast<CurlLoop *>(loop);
    if (what == CURL_POLL_REMOVE)
        self->forget(socket);
    else
        self->watch(socket, what);
    return 0;
}

int CurlLoop::onTimer(CURLM *, long timeoutMs, void *loop)
{
    auto *self = static_cast<CurlLoop *>(loop);
    if (timeoutMs < 0)
        self->m_timer.stop();
    else
        self->m_timer.start(static_cast<int>(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlLoop::watch(int socket, int what)
{
    Watch &watch = m_watches[socket];
    const auto notifier = [this, socket](QSocketNotifier *&slot, QSocketNotifier::Type type, int event, bool wanted) {
        if (!wanted) {
            if (slot)
                slot->setEnabled(false);
            return;
        }
        if (!slot) {
            slot = new QSocketNotifier(socket, type, this);
            connect(slot, &QSocketNotifier::activated, this, [this, socket, event] { act(socket, event); });
        }
        slot->setEnabled(true);
    };
    notifier(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN, what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    notifier(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT, what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void CurlLoop::forget(int socket)
{
    const auto found = m_watches.find(socket);
    if (found == m_watches.end())
        return;
    // We may be inside one of these notifiers' own signals.
    for (QSocketNotifier *notifier : {found->second.read, found->second.write}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_watches.erase(found);
}

void CurlLoop::act(int socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    collectFinished();
}

void CurlLoop::collectFinished()
{
    // One message at a time: a `done` may end or start transfers, which
    // changes curl's list of messages (and may reuse a handle's address).
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL *easy = message->easy_handle;
        const CURLcode result = message->data.result;
        const auto found = m_running.find(easy);
        if (found == m_running.end())
            continue;
        const std::function<void(int)> done = std::move(found->second);
        m_running.erase(found);
        curl_multi_remove_handle(m_multi, easy);
        done(result);
    }
}

} // namespace tidewell::net
