// Folder records as callers fill them, for the folder-operation tests.
#pragma once
#include <cstring>

#include "twstore.h"

namespace tw::test {

inline FolderRecord MakeFolderRecord(const char* mailbox, const char* path, const char* name,
                                     const char* postoffice = "PO") {
  FolderRecord record;
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.mailbox, mailbox, sizeof record.mailbox - 1);
  std::strncpy(record.postoffice, postoffice, sizeof record.postoffice - 1);
  std::strncpy(record.path, path, sizeof record.path - 1);
  std::strncpy(record.name, name, sizeof record.name - 1);
  return record;
}

}  // namespace tw::test
