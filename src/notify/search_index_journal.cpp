#include "notify/search_index_journal.h"

#include <cstdio>

#include "common/file_opener.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "notify/notification_message.h"

namespace tw {
namespace {

const char* ActionOf(int32_t code) {
  switch (code) {
    case kCommandAdd:
    case kCommandNew: return "Add";
    case kCommandMod: return "Update";
    case kCommandDel: return "Delete";
    default: return nullptr;
  }
}

// A line break inside a name would forge journal lines of its own.
bool FitsOnOneLine(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }

bool AppendWhole(const std::string& path, const std::string& text) {
  FileOpener journal(path, "a", 0);
  if (!journal.IsOpen()) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), journal.Stream()) == text.size();
  return journal.Close() && written;
}

}  // namespace

std::string SearchIndexDirectory(const std::string& postoffice, const std::string& mailbox) {
  if (!IsSafeStoreName(mailbox)) return {};
  const std::string root = PostofficeRoot(postoffice);
  return root.empty() ? std::string() : root + "\\INDEXROOT\\" + mailbox;
}

void JournalSearchIndexChange(std::string_view data) {
  NotificationMessage message;
  const std::string text = "[TW_NOTIFY]\tSignalAddress\tSessionID\t" + std::string(data);
  if (!ParseNotificationMessage(text, message)) return;
  const char* action = ActionOf(message.code);
  if (action == nullptr || message.payload.empty()) return;
  const std::string directory = SearchIndexDirectory(message.Field(6), message.Field(7));
  if (directory.empty()) return;

  std::string folder = message.Field(8);
  if (folder.empty() || folder[0] != '\\') folder.insert(0, "\\");
  bool whole = FitsOnOneLine(folder);
  std::string lines;
  for (const std::string& item : message.payload) {
    if (!FitsOnOneLine(item)) {
      whole = false;
      continue;
    }
    lines += std::string(action) + "\t" + folder + "\t" + item + "\n";
  }
  if (!whole) lines.clear();
  if (whole && AppendWhole(directory + "\\" + kSearchJournalFile, lines)) return;
  // Opening for appending makes the flag file and leaves an existing one be.
  FileOpener flag(directory + "\\" + kSearchDirtyFile, "a", 0);
}

}  // namespace tw
