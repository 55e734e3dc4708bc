#include "platform/mutation_hook.h"

#include <atomic>

namespace tw::platform {
namespace {

std::atomic<MutationHook> g_hook{nullptr};

}  // namespace

MutationHook SetMutationHook(MutationHook hook) { return g_hook.exchange(hook); }

void BeforeMutation(Mutation kind, std::string_view systemPath) {
  if (const MutationHook hook = g_hook.load(std::memory_order_acquire)) {
    MutationEvent event;
    event.kind = kind;
    event.path = systemPath;
    hook(event);
  }
}

void BeforeWrite(int descriptor, const void* data, uint64_t size) {
  if (const MutationHook hook = g_hook.load(std::memory_order_acquire)) {
    MutationEvent event;
    event.kind = Mutation::Write;
    event.descriptor = descriptor;
    event.data = data;
    event.size = size;
    hook(event);
  }
}

void BeforeTruncate(int descriptor, uint64_t size) {
  if (const MutationHook hook = g_hook.load(std::memory_order_acquire)) {
    MutationEvent event;
    event.kind = Mutation::Truncate;
    event.descriptor = descriptor;
    event.size = size;
    hook(event);
  }
}

const char* MutationName(Mutation kind) {
  switch (kind) {
    case Mutation::Write: return "write";
    case Mutation::Truncate: return "truncate";
    case Mutation::Delete: return "delete";
    case Mutation::Move: return "move";
    case Mutation::Replace: return "replace";
    case Mutation::Copy: return "copy";
    case Mutation::CreateDirectory: return "create-directory";
    case Mutation::RemoveDirectory: return "remove-directory";
    case Mutation::SetTime: return "set-time";
  }
  return "?";
}

}  // namespace tw::platform
