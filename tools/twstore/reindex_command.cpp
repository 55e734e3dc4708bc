// twstore reindex: rebuilds a mail folder's index from its message files
// (the scan of an open in mode 2, with its result kept). Known messages keep their UIDs and flags; new files
// get the next UIDs. The scan is one library call, so the terminal only
// learns that it is alive, not how far it got.
#include <chrono>
#include <future>
#include <system_error>

#include "commands.h"
#include "frame/library_lifecycle.h"
#include "frame/store_paths.h"
#include "index/file/store_index_serialiser.h"
#include "index/items/sorted_store_index.h"
#include "mail_folder.h"
#include "platform/files.h"
#include "progress_bar.h"

namespace tw::cli {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);

struct Rebuilt {
  bool opened = false;
  uint32_t items = 0;
  uint32_t lastUid = 0;
};

Rebuilt Rebuild(const MailFolder& folder) {
  Rebuilt result;
  {
    FolderIndex index(folder);
    result.opened = index.Rebuild();
    result.items = index.Record().itemCount;
    result.lastUid = index.Record().lastUid;
  }
  StoreLibraryThreadRelease();
  return result;
}

uint64_t CountMessageFiles(const std::string& directory) {
  uint64_t count = 0;
  platform::FindHandle find;
  platform::FindData data;
  for (bool more = find.First(InFolder(directory, "*.MAI"), data); more; more = find.Next(data))
    if ((data.attributes & platform::kAttrDirectory) == 0) ++count;
  return count;
}

}  // namespace

int Reindex(const FolderRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request, folder, err); rc != 0) return rc;
  const uint64_t files = CountMessageFiles(folder.directory);
  Rebuilt result;
  {
    // The scan runs beside the display, which only waits for it.
    ProgressBar bar(err, console.errIsTerminal, console.errColumns,
                    "reindexing " + std::to_string(files) + " message files", 0);
    std::future<Rebuilt> scan;
    try {
      scan = std::async(std::launch::async, Rebuild, std::cref(folder));
    } catch (const std::system_error&) {
      scan = std::async(std::launch::deferred, Rebuild, std::cref(folder));  // no thread to be had
    }
    while (scan.wait_for(kRedraw) == std::future_status::timeout) bar.Tick();
    result = scan.get();
  }
  if (!result.opened) {
    err << "twstore: the index of folder " << Quoted(folder.folder) << " in " << Shown(folder.directory)
        << " could not be rebuilt (another process holds its _index.blk, or the index could not be written)\n";
    return kExitFailed;
  }
  out << "reindexed " << Shown(folder.directory) << ": " << result.items << " items, LASTUID " << result.lastUid
      << "\n";
  // The scan leaves the folder dirty when it could not take every file.
  if (platform::GetFileAttributes(InFolder(folder.directory, kChangeFlagFile)) != platform::kInvalidAttributes) {
    if (result.lastUid >= kHighestUid)
      err << "twstore: the folder has used up its UIDs (LASTUID 4294967294): message files beyond it were not "
             "indexed; move the folder's messages to a new folder (see docs/twstore.md)\n";
    else
      err << "twstore: not every message file was indexed (\"Maximum Index Rows\" reached?); the folder stays "
             "marked for a rebuild\n";
    return kExitFailed;
  }
  return 0;
}

}  // namespace tw::cli
