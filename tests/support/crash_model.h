// What the crash test expects of a mail folder after a round of the worker
// (support/crash_log.h): the items seen after the previous round, changed by
// every operation that took effect. An operation in flight when the worker
// was killed, or one that failed, took effect as a whole or not at all.
//
// Beyond that the store may only do what a rebuild does: index a message
// file it did not know (a UID never given before, "\RECENT") and forget an
// item whose file is gone. Every message file must be listed, no UID may
// change, name two messages or come back.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "index/items/folder_details.h"
#include "support/crash_log.h"

namespace tw::test {

using FlagWords = std::set<std::string>;  // upper-case words, each with its "\"

FlagWords FlagWordsOf(const std::string& text);
std::string JoinFlagWords(const FlagWords& flags);
// The change text of a direct update ("+\SEEN", "-\FLAGGED", or words that
// replace the flags).
void ApplyFlagChange(FlagWords& flags, const std::string& change);
// The flags of a message delivered with initial flags `initial`.
FlagWords DeliveredFlags(const std::string& initial);

struct SeenItem {
  uint32_t uid = 0;
  FlagWords flags;
  std::string flagText;  // FLAGSTATUS as stored
};

// What an open of the folder shows.
struct FolderView {
  std::map<std::string, SeenItem> items;  // by ID
  uint32_t lastUid = 0;
};

// Words 3 to 8 of _FOLDER.DAT as a count of `view` gives them (a flag
// counts when FLAGSTATUS holds it anywhere, in any case), and LASTUID.
FolderDetails CountedDetails(const FolderView& view);

struct Violation {
  std::string kind;
  std::string message;
};

class CrashModel {
 public:
  // Checks what the open showed (`seen`, with the message files `files` in
  // the folder) after the round `log`; then `seen` is the model for the next
  // round (also after a violation, so that a run may go on past one).
  std::optional<Violation> CheckRound(const CrashLog& log, const FolderView& seen, const std::set<std::string>& files);

 private:
  struct Expect {
    bool fresh = false;  // a UID never given before; else `uid`
    uint32_t uid = 0;
    std::vector<FlagWords> flags;  // each is acceptable
    // Indexed by a rebuild that an open may or may not have made: changes
    // add their outcome to the flags rather than replace them.
    bool maybe = false;
  };
  using Expected = std::map<std::string, Expect>;

  static void Change(Expect& item, const std::vector<FlagWords>& flags);

  std::optional<Violation> Judge(const CrashLog& log, const FolderView& seen, const std::set<std::string>& files) const;
  bool Fresh(uint32_t uid) const;
  std::optional<Violation> CheckUids(const FolderView& seen) const;
  Expected Replay(const std::vector<CrashOp>& ops, const std::vector<bool>& applies) const;
  std::vector<Violation> Match(const Expected& expected, const FolderView& seen, const std::set<std::string>& files,
                               const std::string& inFlightFile, const std::map<std::string, uint32_t>& lost) const;
  void Accept(const FolderView& seen, const std::set<std::string>& files);

  FolderView model_;
  std::set<std::string> files_;
  std::map<uint32_t, std::string> history_;  // every UID seen and the ID it named
  uint32_t highest_ = 0;                     // the highest UID or LASTUID seen
  std::map<std::string, uint32_t> lost_;     // unlisted while their files stayed: ID -> UID
};

}  // namespace tw::test
