// Names of any bytes: modified UTF-7 decodes only to what encodes back to
// it, folder paths map both ways to a fixed point, Maildir flags survive the
// export name, import names always fit the store, and the header clean-up
// only ever takes bytes away.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "formats/header_cleanup.h"
#include "formats/import_names.h"
#include "formats/maildir_folders.h"
#include "formats/maildir_info.h"
#include "formats/modified_utf7.h"

namespace {

using namespace tw::formats;

void CheckUtf7(std::string_view text) {
  if (const std::optional<std::string> unicode = DecodeModifiedUtf7(text)) {
    if (!IsWellFormedUtf8(*unicode)) std::abort();
    if (DecodeModifiedUtf7(EncodeModifiedUtf7(*unicode).value()) != unicode) std::abort();
  }
  if (IsWellFormedUtf8(text)) {
    for (const bool dots : {false, true}) {
      const std::optional<std::string> encoded = EncodeModifiedUtf7(text, [dots](char c) { return dots && c == '.'; });
      if (!encoded || DecodeModifiedUtf7(*encoded) != std::string(text)) std::abort();
      if (dots && encoded->find('.') != std::string::npos) std::abort();
    }
  } else if (EncodeModifiedUtf7(text)) {
    std::abort();
  }
}

void CheckFolders(std::string_view text) {
  if (const std::optional<std::string> path = StoreFolderFromMaildir(text)) {
    const std::optional<std::string> directory = MaildirFromStoreFolder(*path);
    if (!directory || StoreFolderFromMaildir(*directory) != path) std::abort();
    if (path->find_first_of("\"*:<>?|/") != std::string::npos) std::abort();
    for (const char c : *path) {
      if (c < 0x20 || c > 0x7E) std::abort();
    }
  }
  if (const std::optional<std::string> directory = MaildirFromStoreFolder(text)) {
    const std::optional<std::string> path = StoreFolderFromMaildir(*directory);
    if (!path || MaildirFromStoreFolder(*path) != directory) std::abort();
  }
}

void CheckMaildirInfo(std::string_view text) {
  const MaildirImportFlags read = FlagsFromMaildirName(text, MaildirSubdir::Cur);
  const std::string name = MaildirExportName(SplitMaildirFileName(text).unique, StoreFlagsText(read.flags));
  MessageFlags expected = read.flags;
  expected.recent = !expected.seen;
  if (!(FlagsFromMaildirName(name, MaildirSubdir::Cur).flags == expected)) std::abort();
  if (MaildirSourceKey(name) != SplitMaildirFileName(text).unique) std::abort();
}

void CheckImportName(std::string_view text) {
  const std::string name = ImportFileName(text);
  if (name.size() > kImportNameLimit || name.size() < 5 || name[0] == '_') std::abort();
  if (name.compare(name.size() - 4, 4, ".MAI") != 0) std::abort();
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
    if (!ok) std::abort();
  }
  if (ImportFileName(text) != name) std::abort();
}

void CheckHeaderCleanup(std::string_view text) {
  const std::string once = WithoutStoreHeaderFields(text);
  if (once.size() > text.size()) std::abort();
  if (WithoutStoreHeaderFields(once) != once) std::abort();
  const size_t end = HeaderEnd(text);
  // The body stays as it was.
  if (end != std::string_view::npos && once.compare(once.size() - (text.size() - end), std::string::npos,
                                                    text.substr(end)) != 0) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckUtf7(text);
  CheckFolders(text);
  CheckMaildirInfo(text);
  CheckImportName(text);
  CheckHeaderCleanup(text);
  return 0;
}
