#include "support/store_fixture.h"

#include "index/cache/loaded_index_store.h"

#include <cstring>

#include "frame/settings.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/folder_cache_files.h"

namespace tw::test {

std::string Message(const std::string& headers, const std::string& body) { return headers + "\r\n\r\n" + body; }

MailRoot::MailRoot(const std::string& extraValues, const std::string& rootName)
    : root_(dir_.path() + rootName), registry_(RegistryWithMailRoot(root_, extraValues)) {
  SetSettings(ReadStoreSettings());
}

MailRoot::~MailRoot() {
  // The next test's folders must not meet indexes kept from this one.
  LoadedIndexStore::Process().Clear();
  LoadedIndexStore::Process().ResetCapacity();
  SetSettings({});
}

void MailRoot::Use(const std::string& extraValues) {
  registry_.Rewrite(RegistryWithMailRoot(root_, extraValues));
  SetSettings(ReadStoreSettings());
}

void PutMessage(const std::string& folder, const std::string& name, const std::string& headers) {
  WriteFile(SystemPath(folder) + "/" + name, Message(headers));
}

int32_t OpenFolderRecord(STOREINDEXTYPE& record, const std::string& postoffice, const std::string& mailbox,
                         const std::string& folder, uint32_t mode) {
  std::memset(&record, 0, sizeof record);
  InitRecord(record);
  SetRecordText(record.postoffice, postoffice);
  SetRecordText(record.mailbox, mailbox);
  SetRecordText(record.folder, folder);
  SetRecordPaths(record);
  return OpenRecord(record, mode);
}

FolderDetails FolderCounters(const std::string& folder) {
  FolderDetails details;
  ReadFolderDatFile(SystemPath(folder) + "/" + kFolderDatFile, details);
  return details;
}

}  // namespace tw::test
