// SIGINT and SIGTERM end the long-running commands (listen, relay) cleanly:
// they notice the request between two waits and tidy up before exiting.
#pragma once

namespace tw::cli {

// Installs the handlers and clears an earlier request.
void WatchStopSignals();
bool StopRequested();

// A write beyond the process's file-size limit fails with an error the
// command reports, instead of the signal ending the process half-way.
void KeepRunningPastFileSizeLimit();

}  // namespace tw::cli
