// Delivering a message file into a mail folder so that no kill leaves it
// in place but unknown to the index. Under the folder's index block:
//   1. `_pending.dlv` gets the message's name and flags,
//   2. the file is renamed from its temporary name (which no scan indexes),
//   3. the direct insert indexes it and drops the line.
// Killed before 2, the message is absent and the caller saw no success;
// killed after 2, the next open finds the line and indexes the message with
// its flags.
#pragma once
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "index/lifecycle/direct_operations.h"

namespace tw {

struct DeliveryTarget {
  std::string postoffice;
  std::string mailbox;
  std::string folder;
};

struct DeliveryResult {
  InsertOutcome outcome = InsertOutcome::Failed;
  bool placed = false;   // the message file lies in the folder under `name`
  bool existed = false;  // a file of that name was there already and stays as it was
  std::string name;
  std::string why;  // when not indexed
};

// `temporaryPath` lies in the folder's directory. `nextName` gives message
// names to try in turn, each call after the first because the name before
// was taken (empty when there are none left). The temporary file is gone afterwards
// unless the block could not be had.
DeliveryResult DeliverMessageFile(const DeliveryTarget& target, const std::string& temporaryPath,
                                  const std::function<std::string()>& nextName, const std::string& flags);

// One message of a batch: the name of its temporary file in the folder's
// directory, the name it is to have, its initial flags (no commas) and its
// time (the last write of the message file; 0 keeps the file's own).
struct BatchMessage {
  std::string temporaryName;
  std::string name;
  std::string flags;
  uint64_t fileTime = 0;
};

inline constexpr size_t kMostMessagesPerBatch = 1000;

// Delivers up to kMostMessagesPerBatch messages under one hold of the
// folder's block, as DeliverMessageFile does one: each goes in place under
// its own name, never replacing a file (a name taken already in any letter
// case leaves that file alone and drops the temporary), then one direct
// insert indexes every placed message with its own flags. One result per
// message, in order. The folder is listed once; names are not looked up one
// by one, which after each rename would list it again.
std::vector<DeliveryResult> DeliverMessageBatch(const DeliveryTarget& target,
                                                const std::vector<BatchMessage>& messages);

}  // namespace tw
