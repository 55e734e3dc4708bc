// Brings messages into one mail folder the way a delivery does: each is
// written to a temporary file in the folder (which no scan indexes), then
// batches of at most 1000 go in place under their own names and are
// indexed by one insert each, under the folder's block. A message whose
// name the folder has already (indexed, or its file there) is skipped, so
// an import that stopped half-way can be run again.
#pragma once
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "index/lifecycle/message_delivery.h"
#include "mail_folder.h"
#include "platform/file_handle.h"
#include "platform/folder_files.h"

namespace tw::cli {

struct ImportCounts {
  uint64_t imported = 0;
  uint64_t skipped = 0;  // the folder had them already
  uint64_t failed = 0;

  uint64_t Seen() const { return imported + skipped + failed; }
  ImportCounts& operator+=(const ImportCounts& other) {
    imported += other.imported;
    skipped += other.skipped;
    failed += other.failed;
    return *this;
  }
};

class MessageImporter {
 public:
  MessageImporter(const MailFolder& folder, std::ostream& err);
  ~MessageImporter();
  MessageImporter(const MessageImporter&) = delete;
  MessageImporter& operator=(const MessageImporter&) = delete;

  // The folder has a message of that name (indexed, or its file is there).
  bool Has(const std::string& name) const;
  // Counts a message left out because the folder has it.
  void Skip() { ++counts_.skipped; }

  // Starts a message under `name`. False, with the reason written, when its
  // temporary file cannot be made; the import should stop then.
  bool Begin(const std::string& name);
  // More of the message's bytes. The header loses its X-TWTempFlags: and
  // X-UID: fields on the way (they would be taken for the store's own).
  // False once a write failed (a full disk): the message is dropped.
  bool Write(std::string_view bytes);
  // Ends the message: it joins the batch with its flags and time (a file
  // time; 0 for now), delivered when the batch is full.
  bool End(const std::string& flags, uint64_t fileTime);
  // Drops a message begun but not ended.
  void Abandon();
  // Delivers what is waiting. False when a delivery failed.
  bool Finish();

  // A write or the folder failed: nothing more should be begun.
  bool Stopped() const { return stopped_; }
  const ImportCounts& Counts() const { return counts_; }

 private:
  bool Put(std::string_view bytes);
  bool Deliver();

  MailFolder folder_;
  std::ostream& err_;
  platform::FolderFiles directory_;  // the folder, listed once
  std::set<std::string, LessNoCase> indexed_;  // indexed, or a file of that name is there
  std::vector<BatchMessage> batch_;
  platform::FileHandle file_;
  std::string temporary_;  // its name in the folder
  std::string name_;
  std::string header_;  // the start of the message until its header ends
  bool headerDone_ = false;
  bool stopped_ = false;
  uint64_t serial_ = 0;
  ImportCounts counts_;
};

}  // namespace tw::cli
