// MoveFile: renames that never replace, as on Windows.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_copy.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/rename_noreplace.h"
#include "platform/share_probe.h"

namespace tw::platform {

namespace {

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

bool SameEntry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The entry that already answers to the destination name, in any letter
// case; empty when there is none.
std::string ExistingDestination(const std::string& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) return target;
  const std::string directory = detail::ParentDirectory(target);
  const std::string found = detail::FindNameIgnoringCase(directory, detail::LastComponent(target));
  return found.empty() ? std::string() : detail::JoinPath(directory, found);
}

// True when `existing` is the source itself under another letter case in
// the same directory: renaming it only changes the spelling.
bool IsCaseChangeOf(const std::string& source, const std::string& existing) {
  if (!detail::EqualsIgnoreCase(detail::LastComponent(source), detail::LastComponent(existing))) return false;
  struct stat a {};
  struct stat b {};
  if (::lstat(source.c_str(), &a) != 0 || ::lstat(existing.c_str(), &b) != 0 || !SameEntry(a, b)) return false;
  struct stat pa {};
  struct stat pb {};
  return ::stat(detail::ParentDirectory(source).c_str(), &pa) == 0 &&
         ::stat(detail::ParentDirectory(existing).c_str(), &pb) == 0 && SameEntry(pa, pb);
}

uint32_t RenameError(const std::string& source, int err) {
  switch (err) {
    case EEXIST:
    case ENOTEMPTY:
      return kErrorAlreadyExists;
    case ENOENT: {
      // Either side may be missing; the source was there a moment ago.
      struct stat st {};
      if (::lstat(source.c_str(), &st) != 0) return detail::MissingEntryError(source);
      return kErrorPathNotFound;
    }
    case ENOTDIR:
      return kErrorPathNotFound;
    default:
      return ErrorFromErrno(err);
  }
}

// Another file system: files are copied and the source removed.
uint32_t MoveAcrossDevices(const std::string& source, const std::string& target) {
  const uint32_t error = detail::CopySystemFile(source, target, true);
  if (error != kErrorSuccess) return error == kErrorFileExists ? kErrorAlreadyExists : error;
  if (::unlink(source.c_str()) != 0) {
    const int err = errno;
    ::unlink(target.c_str());
    return ErrorFromErrno(err);
  }
  return kErrorSuccess;
}

}  // namespace

bool MoveFile(std::string_view from, std::string_view to) {
  std::string source;
  std::string target;
  if (!detail::MapPath(from, source) || !detail::MapNewName(to, target)) return false;

  // Held for the whole move: nobody takes the source exclusively meanwhile.
  detail::ShareProbe probe;
  switch (probe.Acquire(source)) {
    case detail::ProbeOutcome::Missing:
      return Fail(detail::MissingEntryError(source));
    case detail::ProbeOutcome::Busy:
      return Fail(kErrorSharingViolation);
    case detail::ProbeOutcome::Failed:
      return Fail(ErrorFromErrno(errno));
    case detail::ProbeOutcome::Ready:
      break;
  }

  const std::string existing = ExistingDestination(target);
  int result = 0;
  BeforeMutation(Mutation::Move, target);
  if (!existing.empty()) {
    if (!IsCaseChangeOf(source, existing)) return Fail(kErrorAlreadyExists);
    // A plain rename: on a file system that ignores case the destination
    // "exists" as the source itself.
    result = source == target ? 0 : ::rename(source.c_str(), target.c_str());
  } else {
    result = detail::RenameNoReplace(source.c_str(), target.c_str());
  }
  if (result != 0) {
    const int err = errno;
    if (err == EXDEV && S_ISREG(probe.Status().mode)) {
      const uint32_t error = MoveAcrossDevices(source, target);
      if (error != kErrorSuccess) return Fail(error);
    } else {
      return Fail(RenameError(source, err));
    }
  }
  detail::ForgetDirectory(detail::ParentDirectory(source));
  detail::ForgetDirectory(detail::ParentDirectory(target));
  detail::ForgetDirectory(source);
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform
