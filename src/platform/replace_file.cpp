#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/share_probe.h"
#include "platform/write_cut.h"

namespace tw::platform {

bool ReplaceFile(std::string_view from, std::string_view to) {
  std::string source;
  std::string target;
  if (!detail::MapPath(from, source) || !detail::MapNewName(to, target)) return false;
  // Neither side may be held without sharing, as with any other move.
  detail::ShareProbe sourceProbe;
  detail::ShareProbe targetProbe;
  const detail::ProbeOutcome sourceState = sourceProbe.Acquire(source);
  if (sourceState == detail::ProbeOutcome::Missing) {
    SetLastError(detail::MissingEntryError(source));
    return false;
  }
  if (sourceState == detail::ProbeOutcome::Busy || targetProbe.Acquire(target) == detail::ProbeOutcome::Busy) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  BeforeMutation(Mutation::Replace, target);
  if (!detail::AllowFileChange()) return false;
  if (std::rename(source.c_str(), target.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  detail::ForgetDirectory(detail::ParentDirectory(target));
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform
