// The mail folder that an index command works on, checked before anything
// is touched, and the index record the reading commands open on it.
#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "twstore.h"

namespace tw {
class SORTEDSTOREINDEXTYPE;
}

namespace tw::cli {

inline constexpr uint32_t kOpenAsAService = 4;
inline constexpr uint32_t kReadAsItIs = 5;

// Exit codes of the index commands.
inline constexpr int kExitFailed = 1;   // the store refused or an operation failed
inline constexpr int kExitRefused = 2;  // a name or argument is not acceptable

struct MailFolder {
  std::string postoffice;
  std::string mailbox;
  std::string folder;
  std::string directory;  // store path ("\" separated) of the folder's directory
};

// Checks the names (nothing outside the mail root, not the mailbox itself,
// a mail folder, mailbox and folder directories present, no symbolic link
// on the way from the mailbox to the folder) and fills `folder`. 0 when usable, else
// the exit code, with the reason written to `err`.
int ResolveMailFolder(const FolderRequest& request, MailFolder& folder, std::ostream& err);

// Checks that the postoffice and mailbox are names and that their
// directories exist, and gives the mailbox directory. 0 when they do, else
// the exit code, with a reason naming what is missing where written to
// `err` ("mailbox 'x' not found under postoffice 'y'").
int FindMailbox(const std::string& postoffice, const std::string& mailbox, std::string& mailboxDirectory,
                std::ostream& err);

// True when the folder name leads back to the mailbox directory itself
// (`\`, `.`, `./`, `Inbox\..` and the like): a mail folder lies below it.
bool NamesMailboxItself(std::string_view folder);

// A text safe to print on one line: control bytes become blanks.
std::string Printable(std::string_view text);
// A name from the command line for an error message: printable, and cut
// when it is too long to read.
std::string Named(std::string_view text);
// A name for an error message in quotes: 'Inbox\Work'.
std::string Quoted(std::string_view text);
// The thread's last error as "<message> (error <n>)", for the tool's texts.
std::string LastErrorText();

// Copies a text into a record field; false when it does not fit, as a cut
// name would name another folder.
template <size_t N>
bool FillRecordField(char (&field)[N], const std::string& text) {
  if (text.size() >= N) return false;
  text.copy(field, text.size());
  field[text.size()] = '\0';
  return true;
}

// A store path as the system names it, printable.
std::string Shown(const std::string& storePath);

// An index record of the folder, released with the object.
class FolderIndex {
 public:
  explicit FolderIndex(const MailFolder& folder);
  ~FolderIndex();
  FolderIndex(const FolderIndex&) = delete;
  FolderIndex& operator=(const FolderIndex&) = delete;

  // StoreIndex_Open's modes: 2 rebuilds from the files, 4 opens as a service
  // does (a folder marked for a rebuild, a lost or damaged index, a delivery
  // killed half way are settled first), 5 reads the index file as it is.
  // False when the open failed.
  bool Open(uint32_t mode);
  // Rebuilds the index from the files, then reads it. False when another
  // process held the folder's index block, or the rebuilt index could not be
  // saved or read (an open in mode 2 reads the old index then).
  bool Rebuild();
  STOREINDEXTYPE& Record() { return *record_; }
  SORTEDSTOREINDEXTYPE& Index();

 private:
  std::unique_ptr<STOREINDEXTYPE> record_;
};

// The item IDs (message file names) that an "--ids" list names: each entry
// is a UID or a message file name of an item in the index. False, with each
// unknown or unacceptable entry written to `err`, when any entry is not
// one; duplicates are dropped.
bool ResolveItemIds(const MailFolder& folder, std::string_view list, std::vector<std::string>& ids,
                    std::ostream& err);

// The IDs as comma-separated lists short enough for one direct call each.
std::vector<std::string> IdBatches(const std::vector<std::string>& ids);

}  // namespace tw::cli
