// Facts about this machine and its processes.
#pragma once
#include <cstdint>
#include <string>

namespace tw::platform {

// This machine's name, as GetComputerName gives it: the host name.
std::string ComputerName();

uint64_t CurrentProcessId();

// What tells this run of the machine from the ones before and after it
// (/proc/sys/kernel/random/boot_id); "" when it cannot be read.
std::string BootId();

// When process `pid` started, in clock ticks since boot (field 22 of
// /proc/<pid>/stat): with the pid it names one process of one boot, since a
// pid used again belongs to a process that started later. False when there is
// no such process or its record cannot be read.
bool ProcessStartTime(uint64_t pid, uint64_t& startTime);

enum class ProcessLiveness {
  Alive,    // still running
  Gone,     // ended (a zombie counts: it holds nothing and never runs again)
  Unknown,  // cannot be told, e.g. /proc hides other users' processes
};

// Whether the process `pid` that started at `startTime` of this boot is
// still running. A pid now used by a process with another start time is
// Gone. Only processes of this pid namespace can be seen.
ProcessLiveness ProcessIsAlive(uint64_t pid, uint64_t startTime);

}  // namespace tw::platform
