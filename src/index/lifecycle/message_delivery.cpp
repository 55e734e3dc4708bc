#include "index/lifecycle/message_delivery.h"

#include <cstring>
#include <memory>
#include <set>

#include "index/file/store_index_serialiser.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/index_file_blocking.h"
#include "index/messages/pending_deliveries.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/last_error.h"

namespace tw {
namespace {

std::string FolderPathOf(const DeliveryTarget& target) {
  auto record = std::make_unique<STOREINDEXTYPE>();
  std::memset(record.get(), 0, sizeof *record);
  SetRecordText(record->postoffice, target.postoffice);
  SetRecordText(record->mailbox, target.mailbox);
  SetRecordText(record->folder, target.folder);
  SetRecordPaths(*record);
  return record->folderPath;
}

class HeldBlock {
 public:
  explicit HeldBlock(std::string path) : path_(std::move(path)) {
    held_ = WaitForAccessToIndexFileEx(path_, kHeldBlock, &handle_) != 0;
  }
  ~HeldBlock() {
    if (held_) UnBlockIndexFileAccessEx(path_, kHeldBlock, &handle_);
  }
  HeldBlock(const HeldBlock&) = delete;
  HeldBlock& operator=(const HeldBlock&) = delete;
  bool Held() const { return held_; }

 private:
  std::string path_;
  uintptr_t handle_ = 0;
  bool held_ = false;
};

std::string ErrorText() {
  const uint32_t code = platform::GetLastError();
  return std::string(platform::ErrorMessage(code)) + " (error " + std::to_string(code) + ")";
}

// Step 1 and 2 under the block: false, with `why`, when the file could not
// be put in place (then it is not in the folder under any message name).
bool Place(const std::string& folderPath, const std::string& temporaryPath,
           const std::function<std::string()>& nextName, const std::string& flags, DeliveryResult& result) {
  // Other deliverers into the folder wait for the block: only writers that
  // do not take it can take names from under us, and never all of them.
  for (std::string name = nextName(); !name.empty(); name = nextName()) {
    if (!RecordPendingDelivery(folderPath, name, flags)) {
      result.why = "cannot write " + std::string(kPendingDeliveriesFile) + ": " + ErrorText();
      return false;
    }
    if (platform::MoveFile(temporaryPath, InFolder(folderPath, name))) {
      result.name = name;
      result.placed = true;
      return true;
    }
    const uint32_t error = platform::GetLastError();
    ForgetPendingDeliveries(folderPath, {name});
    if (error != platform::kErrorAlreadyExists) {
      platform::SetLastError(error);
      result.why = "cannot name it " + name + ": " + ErrorText();
      return false;
    }
  }
  result.why = "no free message name in the folder";
  return false;
}

}  // namespace

DeliveryResult DeliverMessageFile(const DeliveryTarget& target, const std::string& temporaryPath,
                                  const std::function<std::string()>& nextName, const std::string& flags) {
  DeliveryResult result;
  const std::string folderPath = FolderPathOf(target);
  if (folderPath.empty()) {
    result.why = "the folder has no path in the store";
    return result;
  }
  HeldBlock block(InFolder(folderPath, "_index.blk"));
  if (!block.Held()) {
    result.why = "another process holds the folder's _index.blk";
    return result;
  }
  if (!Place(folderPath, temporaryPath, nextName, flags, result)) {
    platform::DeleteFile(temporaryPath);
    return result;
  }
  result.outcome = InsertMessageFiles(target.postoffice, target.mailbox, target.folder, result.name, flags, true);
  if (result.outcome == InsertOutcome::UidsExhausted) {
    // Nothing may change: the message goes again, with its line.
    platform::DeleteFile(InFolder(folderPath, result.name));
    ForgetPendingDeliveries(folderPath, {result.name});
    result.placed = false;
    result.why = "the folder has used up its UIDs (LASTUID 4294967294); nothing was delivered";
  } else if (result.outcome == InsertOutcome::Failed) {
    result.why = "it could not be indexed; the folder is marked for a rebuild";
  }
  return result;
}

std::vector<DeliveryResult> DeliverMessageBatch(const DeliveryTarget& target,
                                                const std::vector<BatchMessage>& messages) {
  std::vector<DeliveryResult> results(messages.size());
  const std::string folderPath = FolderPathOf(target);
  auto dropTemporaries = [&](size_t from) {
    for (size_t i = from; i < messages.size(); ++i)
      if (!folderPath.empty()) platform::DeleteFile(InFolder(folderPath, messages[i].temporaryName));
  };
  auto failAll = [&](const std::string& why) {
    for (DeliveryResult& result : results) result.why = why;
    dropTemporaries(0);
    return results;
  };
  if (folderPath.empty()) return failAll("the folder has no path in the store");
  if (messages.size() > kMostMessagesPerBatch) return failAll("more than 1000 messages in one batch");
  HeldBlock block(InFolder(folderPath, "_index.blk"));
  if (!block.Held()) return failAll("another process holds the folder's _index.blk");
  platform::FolderFiles folder;
  if (!folder.Open(folderPath)) return failAll("cannot list the folder: " + ErrorText());
  std::set<std::string, LessNoCase> present;
  for (const platform::FolderEntry& entry : folder.List("*", platform::NameMode::AnyName)) present.insert(entry.name);

  std::string ids, flags;
  std::vector<std::string> placed;
  for (size_t i = 0; i < messages.size(); ++i) {
    const BatchMessage& message = messages[i];
    DeliveryResult& result = results[i];
    result.name = message.name;
    if (message.name.empty() || message.name.find(',') != std::string::npos ||
        message.flags.find(',') != std::string::npos) {
      result.why = "the name or the flags hold a comma";
    } else if (present.count(message.name) != 0) {
      result.existed = true;
      result.why = "a message of that name is in the folder already";
    } else if (!RecordPendingDelivery(folderPath, message.name, message.flags)) {
      result.why = "cannot write " + std::string(kPendingDeliveriesFile) + ": " + ErrorText();
    } else {
      if (message.fileTime != 0) folder.SetWriteTimeExact(message.temporaryName, message.fileTime);
      if (folder.RenameExact(message.temporaryName, message.name)) {
        present.insert(message.name);
        result.placed = true;
        placed.push_back(message.name);
        ids += (ids.empty() ? "" : ",") + message.name;
        flags += (placed.size() == 1 ? "" : ",") + message.flags;
        continue;
      }
      const uint32_t error = platform::GetLastError();
      ForgetPendingDeliveries(folderPath, {message.name});
      result.existed = error == platform::kErrorAlreadyExists;
      platform::SetLastError(error);
      result.why = "cannot name it " + message.name + ": " + ErrorText();
    }
    platform::DeleteFile(InFolder(folderPath, message.temporaryName));
  }
  if (placed.empty()) return results;

  const InsertOutcome outcome = InsertMessageFiles(target.postoffice, target.mailbox, target.folder, ids, flags, true);
  for (DeliveryResult& result : results) {
    if (!result.placed) continue;
    result.outcome = outcome;
    if (outcome == InsertOutcome::UidsExhausted) {
      platform::DeleteFile(InFolder(folderPath, result.name));
      result.placed = false;
      result.why = "the folder has used up its UIDs (LASTUID 4294967294); nothing was delivered";
    } else if (outcome == InsertOutcome::Failed) {
      result.why = "it could not be indexed; the folder is marked for a rebuild";
    }
  }
  if (outcome == InsertOutcome::UidsExhausted) ForgetPendingDeliveries(folderPath, placed);
  return results;
}

}  // namespace tw
