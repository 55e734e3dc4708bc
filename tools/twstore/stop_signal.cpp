#include "stop_signal.h"

#include <csignal>

namespace tw::cli {
namespace {
volatile std::sig_atomic_t g_stop = 0;
extern "C" void OnStopSignal(int) { g_stop = 1; }
}  // namespace

void WatchStopSignals() {
  g_stop = 0;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() { return g_stop != 0; }

void KeepRunningPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace tw::cli
