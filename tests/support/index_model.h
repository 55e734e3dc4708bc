// A randomised, model-checked driver for one mail folder's index: seeded
// sequences of deliveries, direct updates and removals, record sessions,
// rebuilds and damage to `_index.xml`, each followed by checks of what
// every reader sees against a plain model of the folder, with shrinking of
// a failing sequence to the fewest steps that still fail the same way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

// The four registry switches the sequences run under.
struct ModelSwitches {
  bool streamSave = false;    // "Use XML Stream Index Serialisation"
  bool streamLoad = false;    // "Use XML Stream Index Deserialisation"
  bool oldFormat = false;     // "MSXML Index Serialisation Produces Old Format"
  bool backup = false;        // "Backup Index"
  static ModelSwitches FromBits(unsigned bits);
  std::string Describe() const;
};

struct ModelStep {
  enum class Kind {
    Deliver,        // direct insert of new files `messages`, initial flags `text`
    DeliverBig,     // as Deliver, each message with a To: header of some 30 KB
    Update,         // direct update of `messages` with change `text`
    Remove,         // direct remove of `messages`; `option` 1 deletes the files
    Open,           // a record session opened in mode `option`
    SetFlags,       // session: FLAGSTATUS of message `messages[0]` := `text`
    Insert,         // session: new file `messages[0]` through the record
    RecordRemove,   // session: remove `messages`; `option` 1 deletes the files
    Save,           // session: StoreIndex_Save
    Commit,         // session: commit (save and counters)
    Release,        // session: release without saving
    Reindex,        // a record opened in mode 2
    ScanFolders,    // ScanFolders on the folder
    Damage,         // `option`: 0 delete, 1 truncate, 2 flip a byte, 3 empty; then recovery `mode`
  };
  Kind kind = Kind::Deliver;
  std::vector<uint32_t> messages;  // message numbers: file "%08u.MAI"
  std::string text;
  uint32_t option = 0;
  uint32_t mode = 0;     // open mode, or the recovery after damage
  uint32_t where = 0;    // damage position (any number, reduced modulo the file size)
  std::string Describe() const;
};

struct ModelRunOptions {
  ModelSwitches switches;
  uint32_t maximumIndexRows = 0;  // 0: the default; else written to the registry and never exceeded
  bool keepLoadedIndexes = true;  // false: direct operations never reuse an index (and read only what they touch)
};

struct ModelResult {
  bool failed = false;
  size_t failedStep = 0;   // index of the step after which a check failed
  std::string kind;        // short failure class, kept while shrinking
  std::string message;
  size_t largestIndexFile = 0;
};

// Generates a sequence of `steps` steps for `seed`. `big` adds one large
// delivery early so that the index grows past 1 MiB.
std::vector<ModelStep> GenerateModelSequence(uint32_t seed, size_t steps, bool big, uint32_t fileCap);

// Runs the sequence in a fresh mail root; stops at the first failed check.
ModelResult RunModelSequence(const std::vector<ModelStep>& steps, const ModelRunOptions& options);

// The shortest sequence found (by dropping steps, then pairs) that still
// fails with the same kind; at most `budget` reruns.
std::vector<ModelStep> ShrinkModelSequence(const std::vector<ModelStep>& steps, const ModelRunOptions& options,
                                           const std::string& kind, size_t budget);

std::string DescribeSequence(const std::vector<ModelStep>& steps);

}  // namespace tw::test
