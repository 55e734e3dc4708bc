// Open, scan, save and commit of a caller's folder index record.
#pragma once
#include <cstdint>
#include <string>

#include "index/messages/mail_folder_scan.h"
#include "twstore.h"

namespace tw {

// 1 loaded, 2 reused what was in memory, 0 failed.
int32_t OpenRecord(STOREINDEXTYPE& record, uint32_t mode);
// Rebuilds the index from the folder's files; the scan's result.
int32_t ScanRecord(STOREINDEXTYPE& record, int32_t reason);
// Saves the index file under the folder's block; 1 when saved.
int32_t SaveRecord(STOREINDEXTYPE& record);
// 2 when nothing changed; else the save's result, with the counters stored.
int32_t CommitRecord(STOREINDEXTYPE& record);
// Makes sure the index is loaded; always 1.
int32_t GetRecord(STOREINDEXTYPE& record);

// The mailbox directory of a folder path: up to and including the
// component after "MAILROOT\"; empty when there is none.
std::string MailboxDirectoryOfPath(const std::string& folderPath);
// Examines and deletes the delivery counters "_<n>.NEW" of a mailbox
// directory: the highest n (0 when there is none).
uint32_t TakeDeliveryCounters(const std::string& mailboxDirectory);
// True when one had n above 0.
bool TakeDeliveryMarkers(const std::string& mailboxDirectory);
// Sends the folder's COMMIT event to the mailbox's listeners.
void NotifyFolderCommit(const std::string& mailboxDirectory, const std::string& folder);

}  // namespace tw
