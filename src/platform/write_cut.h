// A seam for tests of what a cut-short save leaves on disk. Once armed,
// every change to a file is counted: a byte written through
// FileHandle::Write is one unit; a truncate, a delete, a replace and an
// open that may create or truncate a file are one unit each. When the
// budget runs out part-way through a write, the bytes that fit are written,
// and then
// - Fail: that write and every later one fail with error 112 (disk full);
//   other changes go on as usual and are not counted;
// - Stop: that change and every later one fail (error 19) without touching
//   the disk: what a kill leaves, while the code runs on to its end;
// - Exit: the process ends at once (std::_Exit with kWriteCutExitCode), as a
//   kill ends it.
// Count only counts. Unarmed (the default), nothing is counted.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tw::platform {

enum class WriteCutAction { Count, Fail, Stop, Exit };

inline constexpr int kWriteCutExitCode = 86;

void ArmWriteCut(uint64_t budget, WriteCutAction action);
void DisarmWriteCut();
// Units counted since the seam was last armed.
uint64_t WriteCutUnitsUsed();

namespace detail {

// How many of `size` bytes a write may put on disk; fewer only once the
// budget has run out. A write given fewer calls WriteCutReached and fails.
size_t AllowedWriteBytes(size_t size);
// Ends the process under Exit; the error of the failed write otherwise.
uint32_t WriteCutReached();
// Before a truncate, delete, replace or creating open: false (last error
// set) when it must not happen; under Exit the process ends instead.
bool AllowFileChange();

}  // namespace detail
}  // namespace tw::platform
