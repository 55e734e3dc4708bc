// One mailbox's Inbox under a scratch mail root, with the serialisation
// switches a test chooses: deliveries, records opened in any mode, and what
// a fresh reader sees.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "index/items/folder_details.h"
#include "support/store_fixture.h"
#include "support/test_support.h"
#include "twstore.h"

namespace tw::test {

struct IndexSwitches {
  bool streamLoad = true;
  bool streamSave = true;
  bool oldFormat = true;  // the document writer's decimal LASTUID
  bool backup = false;
};

// ID -> (UID, FLAGSTATUS).
using Listing = std::map<std::string, std::pair<uint32_t, std::string>>;

class InboxFixture {
 public:
  InboxFixture();
  ~InboxFixture();

  // Takes effect at once: the settings caches are read again.
  void Use(const IndexSwitches& switches, const std::string& extraValues = "");

  const std::string& Dir() const { return inbox_; }  // with "/" separators
  std::string File(const std::string& name) const { return inbox_ + "/" + name; }
  std::string IndexPath() const;  // as the store names it
  std::string RegistryFile() { return root_.registry().path(); }

  void WriteMessage(const std::string& name, const std::string& headers = "");
  // Writes the message file, then inserts it directly; the insert's result.
  int32_t Deliver(const std::string& name, const std::string& flags = "");
  int32_t Update(const std::string& ids, const std::string& change);
  int32_t Remove(const std::string& ids);

  // Inits the record for this Inbox and opens it in `mode`.
  int32_t Open(STOREINDEXTYPE& record, uint32_t mode);
  void SetFlags(STOREINDEXTYPE& record, const std::string& id, const std::string& flags);
  // What a reader that opens the folder in `mode` sees.
  Listing Read(uint32_t mode = 5);
  // The UID attributes of `_index.xml` in file order.
  std::vector<uint32_t> UidsInFile() const;
  FolderDetails FolderDat() const;
  std::string Log() const;  // the event-log texts so far, one a line

 private:
  MailRoot root_;
  std::string inbox_;
  CapturedEvents events_;
  FastSleep fastSleep_;
};

}  // namespace tw::test
