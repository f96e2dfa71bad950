#pragma once

namespace tidewell {

// SIGHUP, SIGINT and SIGTERM for the headless scheduler, caught from the
// process's first instruction. Each arrives as a byte in a pipe that the
// event loop reads once it runs, so a HUP sent during start-up is acted on
// once the feed list has been read. Until the event loop runs, INT and TERM
// end the process at once: nothing has been downloaded that stopping could
// spoil, and waiting for a database held by another process would make the
// signal wait too.
namespace schedulersignals {

void catchFromNow();
// The pipe's end the event loop reads; -1 when catching could not be set up.
int readEnd();
// From now on INT and TERM wait for the event loop too.
void eventLoopRuns();
// True once an INT or a TERM has arrived: nothing is reported after it.
bool stopAsked();

} // namespace schedulersignals
} // namespace tidewell
