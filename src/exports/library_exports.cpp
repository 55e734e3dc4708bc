// The exported library-lifecycle and memory calls, and the process attach
// and detach of the shared library.
#include <cstdlib>

#include "frame/event_report.h"
#include "frame/library_lifecycle.h"
#include "twstore.h"

namespace {
constexpr const char* kModule = "PROVIDERS\\Store\\StoreLibrary";

// The loader's process notifications are the shared object's constructor
// and destructor.
__attribute__((constructor)) void OnProcessAttach() {
  tw::AtBoundary("DllMain", kModule, __LINE__, false, [] { return tw::ProcessAttach(); });
}

__attribute__((destructor)) void OnProcessDetach() {
  tw::AtBoundary("DllMain", kModule, __LINE__, 0, [] {
    tw::ProcessDetach();
    return 0;
  });
}
}  // namespace

extern "C" {

uint32_t StoreLibrary_Init(void) {
  return tw::AtBoundary("StoreLibrary_Init", kModule, __LINE__, 0u, [] { return tw::StoreLibraryInit(); });
}

uint32_t StoreLibrary_UnInit(void) {
  return tw::AtBoundary("StoreLibrary_UnInit", kModule, __LINE__, 0u, [] { return tw::StoreLibraryUnInit(); });
}

uint32_t StoreLibrary_ThreadInit(void) { return 1; }

uint32_t StoreLibrary_ThreadRelease(void) {
  return tw::AtBoundary("StoreLibrary_ThreadRelease", kModule, __LINE__, 0u,
                        [] { return tw::StoreLibraryThreadRelease(); });
}

uint32_t StoreLibrary_SetAffinity(uint32_t mode) { return tw::StoreLibrarySetAffinity(mode); }

void* Memory_Allocate(uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  return std::malloc(static_cast<size_t>(size));
}

uint32_t Memory_Free(void* block) {
  std::free(block);
  return 1;
}

uint32_t SetLoggingFunction(uintptr_t, uintptr_t, uintptr_t, uintptr_t) { return 0; }

}  // extern "C"
