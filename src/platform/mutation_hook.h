// A seam for crash tests: every operation of this layer that changes the
// file system tells the hook first, so that a test program can end its
// process at a chosen operation and another process can check what the
// store left behind (tests/helpers/crash_worker.cpp). Nothing is installed
// outside tests; then each call is one atomic load.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tw::platform {

enum class Mutation { Write, Truncate, Delete, Move, Replace, Copy, CreateDirectory, RemoveDirectory, SetTime };

struct MutationEvent {
  Mutation kind = Mutation::Write;
  std::string_view path;          // the system path; empty for Write and Truncate
  int descriptor = -1;            // Write and Truncate: the open file
  const void* data = nullptr;     // Write: the bytes about to be written
  uint64_t size = 0;              // Write: how many; Truncate: the new length
};

using MutationHook = void (*)(const MutationEvent& event);

// Installs `hook` for the whole process (nullptr removes it); returns the
// previous one.
MutationHook SetMutationHook(MutationHook hook);

// The calls this layer makes: one before each change to the file system.
void BeforeMutation(Mutation kind, std::string_view systemPath);
void BeforeWrite(int descriptor, const void* data, uint64_t size);
void BeforeTruncate(int descriptor, uint64_t size);

const char* MutationName(Mutation kind);

}  // namespace tw::platform
