// The exported message-indexing and folder-counter calls.
#include <cstdint>
#include <string>

#include "frame/event_report.h"
#include "index/messages/folder_cache_files.h"
#include "index/lifecycle/scan_folders.h"
#include "twstore.h"

namespace {

constexpr const char* kMessageIndexingModule = "..\\SERVICES\\Library\\LIBStoreMessageIndexing";

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

}  // namespace

extern "C" {

uint32_t ScanFolders(const char* folderPath) {
  return tw::AtBoundary("ScanFolders", kMessageIndexingModule, __LINE__, 0u, [&] {
    return static_cast<uint32_t>(tw::ScanFolders(Text(folderPath)));
  });
}

uint32_t GetCachedStatus(const char* postoffice, const char* mailbox, const char* folderName, uint32_t* details) {
  return tw::AtBoundary("GetCachedStatus", kMessageIndexingModule, __LINE__, 0u, [&] {
    if (details == nullptr) return 0u;
    tw::FolderDetails read;
    const int32_t result = tw::GetCachedStatus(Text(postoffice), Text(mailbox), Text(folderName), read);
    for (int i = 0; i < tw::FolderDetails::kCount; ++i) details[i] = read.counters[i];
    return static_cast<uint32_t>(result);
  });
}

uint32_t SetCachedStatus(const char* postoffice, const char* mailbox, const char* folderName,
                         const uint32_t* details) {
  return tw::AtBoundary("SetCachedStatus", kMessageIndexingModule, __LINE__, 0u, [&] {
    if (details == nullptr) return 0u;
    tw::FolderDetails written;
    for (int i = 0; i < tw::FolderDetails::kCount; ++i) written.counters[i] = details[i];
    return static_cast<uint32_t>(tw::SetCachedStatus(Text(postoffice), Text(mailbox), Text(folderName), written));
  });
}

}  // extern "C"
