// A mail root in a scratch directory, its registry and settings in force,
// and the steps the store tests repeat on it: a message file put into a
// folder, a store index record opened for a folder, the folder's counters.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "index/items/folder_details.h"
#include "support/test_support.h"
#include "twstore.h"

namespace tw::test {

// A message file's text: header lines (without the last line end), the
// blank line and a body.
std::string Message(const std::string& headers, const std::string& body = "body\r\n");

class MailRoot {
 public:
  // `rootName` follows the scratch directory as it is (separator included).
  explicit MailRoot(const std::string& extraValues = "", const std::string& rootName = "\\POSTOFFICES");
  ~MailRoot();
  MailRoot(const MailRoot&) = delete;
  MailRoot& operator=(const MailRoot&) = delete;

  // Rewrites the registry with other values beside the mail root and puts
  // the settings read from it in force.
  void Use(const std::string& extraValues);

  const ScratchDir& dir() const { return dir_; }
  // The mail root as the registry names it.
  const std::string& root() const { return root_; }
  ScopedRegistry& registry() { return registry_; }

 private:
  ScratchDir dir_;
  std::string root_;
  ScopedRegistry registry_;
};

// Writes Message(headers) as `name` into the folder at the store path `folder`.
void PutMessage(const std::string& folder, const std::string& name, const std::string& headers);

// Fills in a record for the folder and opens it in `mode`; the record is
// zeroed first, so a fresh one may come straight from make_unique.
int32_t OpenFolderRecord(STOREINDEXTYPE& record, const std::string& postoffice, const std::string& mailbox,
                         const std::string& folder, uint32_t mode);

// The counters in the folder's _FOLDER.DAT (zeros when there is none).
FolderDetails FolderCounters(const std::string& folder);

}  // namespace tw::test
