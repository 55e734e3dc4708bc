#include <string>

#include "common/file_management.h"
#include "index/file/index_file_format.h"
#include "index/file/index_journal.h"
#include "index/file/index_save.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/stream_index_parser.h"
#include "index/file/stream_serialiser.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

constexpr int kOpenAttempts = 20;
constexpr uint32_t kOpenRetryMs = 2000;
constexpr size_t kHeaderLineMax = 1023;
constexpr std::string_view kTimestampText = "Index Timestamp file";

platform::FileHandle OpenForReading(const std::string& path) {
  platform::FileHandle file;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kOpenRetryMs);
    file = platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
    if (file.IsOpen()) break;
    // A missing file does not come back by waiting: renames are atomic here.
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) break;
  }
  return file;
}

void EnsureTimestampFile(const std::string& folder) {
  const std::string path = InFolder(folder, "_index.dat");
  if (FileExists(path)) return;
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None, platform::Disposition::CreateNew);
  if (file.IsOpen()) file.Write(kTimestampText.data(), kTimestampText.size());
}

enum class HeaderOutcome { Done, ReadOn };

// The first line alone; may settle the load (a header-only or empty index)
// or raise the level asked for (an old-format file is read in full).
HeaderOutcome ReadHeader(SORTEDSTOREINDEXTYPE& index, const std::string& path, int32_t& level) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return HeaderOutcome::ReadOn;
  char line[kHeaderLineMax];
  size_t got = 0;
  if (!file.Read(line, sizeof line, got)) return HeaderOutcome::ReadOn;
  const std::string_view text(line, got);
  const std::string_view first = text.substr(0, text.find('\n'));
  if (first.size() <= kRootStartLength) return HeaderOutcome::ReadOn;
  const LastUid lastUid = ParseLastUid(first);
  if (!lastUid.found || lastUid.damaged) return HeaderOutcome::ReadOn;
  index.SetLastUid(lastUid.value);
  // Only the exact 33-byte tag can be updated in place later.
  const std::string canonical = FormatRootStart(lastUid.value);
  const bool exact = first.substr(0, kRootStartLength - 1) == std::string_view(canonical).substr(0, kRootStartLength - 1);
  if (lastUid.newFormat && exact && first[kRootStartLength - 1] == '/') {
    index.keyFilter.clear();
    index.Empty();
    index.rewriteInFull = true;
    level = kLevelFull;
    return HeaderOutcome::Done;
  }
  if (lastUid.newFormat && exact && first[kRootStartLength - 1] == '>') return HeaderOutcome::Done;
  index.keyFilter.clear();
  index.Empty();
  index.rewriteInFull = true;
  level = kLevelFull;
  return HeaderOutcome::ReadOn;
}

std::string OpenFailure(const char* what, const std::string& path) {
  const uint32_t error = platform::GetLastError();
  return std::string(what) + path + " (" + platform::ErrorMessage(error) + ").";
}

}  // namespace

int32_t StreamXMLStoreIndexSerialiser::DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                                       uint32_t folderType, int32_t level, uint32_t verifyFiles,
                                                       bool quiet) {
  const std::string path = InFolder(folder, IndexFileName(folderType));
  struct RememberAtEnd {
    SORTEDSTOREINDEXTYPE& index;
    const std::string& path;
    ~RememberAtEnd() { RememberIndexFile(index, path); }
  } remember{index, path};

  if (TimestampFileOn()) EnsureTimestampFile(folder);
  CompletePendingJournal(path);
  if (level == kLevelHeader && ReadHeader(index, path, level) == HeaderOutcome::Done) {
    if (index.Count() == 0) index.elementPlacesKnown = true;  // nothing held whose place could be unknown
    return level;
  }

  platform::FileHandle file = OpenForReading(path);
  if (!file.IsOpen()) {
    WriteSerialisationLog(OpenFailure("Failed to open index ", path));
    return kLevelFailed;
  }
  if (index.keyFilter.empty()) index.Empty();
  StreamParseRequest request{level, verifyFiles, folder, file.Size()};
  StreamParseResult result = DeserialiseKeysOrBetter(index, file, request);
  if (result.outcome == StreamParseOutcome::ReloadInFull) {
    index.keyFilter.clear();
    index.Empty();
    file = OpenForReading(path);
    if (!file.IsOpen()) {
      WriteSerialisationLog(OpenFailure("Failed to re-open index ", path));
      return kLevelFailed;
    }
    level = kLevelFull;
    request = StreamParseRequest{level, verifyFiles, folder, file.Size()};
    result = DeserialiseKeysOrBetter(index, file, request);
  }
  index.SetLowestUid(0);  // loading changes nothing
  if (result.outcome != StreamParseOutcome::Complete) {
    index.Empty();  // what a malformed file gave is not an index
    if (!quiet) WriteSerialisationLog("Malformed index detected: " + result.problem + " (" + path + ")\n");
    return kLevelFailed;
  }
  if (verifyFiles > 0 && level == kLevelFull) index.rewriteInFull = true;
  index.elementPlacesKnown = true;
  return level;
}

}  // namespace tw
