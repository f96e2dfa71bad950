#include "SchedulerSignals.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tidewell::schedulersignals {
namespace {

int pipeEnds[2] = {-1, -1};
std::atomic<bool> loopRuns{false};
std::atomic<bool> stopping{false};

void onSignal(int number)
{
    if (number != SIGHUP) {
        stopping = true;
        if (!loopRuns)
            ::_exit(0);
    }
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

void catchFromNow()
{
    // Non-blocking, so a flood of signals can never block the handler.
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGHUP, SIGINT, SIGTERM})
        sigaction(number, &action, nullptr);
}

int readEnd()
{
    return pipeEnds[0];
}

void eventLoopRuns()
{
    loopRuns = true;
}

bool stopAsked()
{
    return stopping;
}

} // namespace tidewell::schedulersignals
