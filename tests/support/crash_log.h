// The crash worker's account of a round: a line before and after each
// operation on the folder, flushed at once, so that after the worker was
// killed the checker can tell which operations took effect and which one was
// in flight (a written line survives SIGKILL: it is in the page cache).
//
// Lines are tab-separated, fields may be empty:
//   B n deliver FLAGS | update IDS CHANGE | delete ID | remove IDS |
//     record MODE save|commit | reindex 2|scan | backup    operation n begins
//   S n ID FLAGS       record n set FLAGSTATUS of ID in memory
//   R n IDS            record n removed IDS from the index in memory
//   P n                record n has made all its changes in memory
//   E n RESULT [NAME]  operation n ended; 1 = success; a delivery's new file
//   W n MILLISECONDS   operation n waited that long in counted waits
//   K MUTATION WHAT    the worker kills itself before this mutation
//   D MUTATIONS        the worker finished, after that many mutations
// A line the kill cut short (no line end) is ignored.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

struct CrashOp {
  enum class Kind { Deliver, Update, Delete, Remove, Record, Reindex, Backup };
  Kind kind = Kind::Deliver;
  uint32_t number = 0;
  std::vector<std::string> ids;  // update, remove, delete (one)
  std::string text;              // deliver: initial flags; update: the change
  uint32_t mode = 0;             // record: open mode; reindex: 2 (open mode 2) or 0 (scan)
  bool commit = false;           // record: commit rather than save
  std::vector<std::pair<std::string, std::string>> sets;  // record: ID, FLAGSTATUS
  std::vector<std::string> removes;                        // record: IDs removed
  bool planned = false;          // record: its changes were all made in memory
  bool ended = false;
  int32_t result = 0;
  std::string name;              // deliver: the message file made, when known
  uint64_t waitedMs = 0;         // counted waits (for a block left by a killed worker)

  bool Succeeded() const { return ended && result == 1; }
  // Every open mode but 5 may rebuild a folder marked dirty or without index.
  bool MayRebuild() const { return kind == Kind::Reindex || (kind == Kind::Record && mode != 5); }
  std::string Describe() const;
};

struct CrashLog {
  std::vector<CrashOp> ops;
  bool finished = false;   // a D line: the worker was not killed
  uint64_t mutations = 0;  // from the D line
  std::string killedAt;    // from the K line
  // The operation begun but not ended, if any.
  const CrashOp* InFlight() const;
};

CrashLog ParseCrashLog(const std::string& text);

const char* CrashKindName(CrashOp::Kind kind);

std::string CrashBeginLine(const CrashOp& op);
std::string CrashEndLine(uint32_t number, int32_t result, const std::string& name = "");

std::string JoinIds(const std::vector<std::string>& ids);
// The non-empty pieces of `text` between separators.
std::vector<std::string> SplitText(const std::string& text, char separator);
inline std::vector<std::string> SplitIds(const std::string& text) { return SplitText(text, ','); }

}  // namespace tw::test
