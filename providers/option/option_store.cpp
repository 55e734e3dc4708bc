#include "option/option_store.h"

#include <atomic>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/path_safety.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/sleep.h"

namespace tw::option {

namespace {
constexpr int kDefaultLockAttempts = 200;
constexpr uint32_t kLockPauseMs = 10;
std::atomic<int> g_lockAttempts{kDefaultLockAttempts};

// Values may hold any byte but a line end; "\" escapes keep them on one line.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Held while one writer reads, changes and replaces an option file.
platform::FileHandle TakeWriteLock(const std::string& file) {
  const int attempts = g_lockAttempts;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    platform::FileHandle lock = platform::OpenFile(file + ".lck", platform::Access::ReadWrite, platform::Share::None,
                                                   platform::Disposition::OpenAlways);
    if (lock.IsOpen() || platform::GetLastError() != platform::kErrorSharingViolation) return lock;
    platform::Sleep(kLockPauseMs);
  }
  return {};
}
}  // namespace

int SetWriteLockAttempts(int attempts) { return g_lockAttempts.exchange(attempts > 0 ? attempts : kDefaultLockAttempts); }

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const { return CompareNoCase(a, b) < 0; }

std::string OptionFilePath(const std::string& mailRoot, uint32_t scope, const std::string& object) {
  if (mailRoot.empty()) return {};
  const std::string base = mailRoot + "\\_options\\";
  if (scope == 1) {
    return IsSafeStoreName(object) ? base + object + ".opt" : std::string();
  }
  if (scope == 2) {
    const size_t slash = object.find('/');
    if (slash == std::string::npos) return {};
    const std::string postoffice = object.substr(0, slash);
    const std::string mailbox = object.substr(slash + 1);
    if (!IsSafeStoreName(postoffice) || !IsSafeStoreName(mailbox)) return {};
    return base + postoffice + "\\" + mailbox + ".opt";
  }
  return {};
}

OptionMap ParseOptions(const std::string& text) {
  OptionMap options;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = WithoutLineEnd(std::string_view(text.data() + start, end - start));
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos && eq > 0) options[std::string(line.substr(0, eq))] = Unescape(line.substr(eq + 1));
    start = end + 1;
  }
  return options;
}

std::string SerialiseOptions(const OptionMap& options) {
  std::string text;
  for (const auto& [name, value] : options) text += name + "=" + Escape(value) + "\n";
  return text;
}

std::optional<std::string> ReadOption(const std::string& file, const std::string& name) {
  const OptionMap options = ParseOptions(ReadWholeFileAsText(file));
  const auto it = options.find(name);
  if (it == options.end()) return std::nullopt;
  return it->second;
}

bool WriteOption(const std::string& file, const std::string& name, const std::string& value) {
  if (name.empty() || name.find_first_of("=\r\n") != std::string::npos) return false;
  try {
    CreateDirectoryTree(ParentDirectory(file));
  } catch (...) {
    return false;
  }
  platform::FileHandle lock = TakeWriteLock(file);
  if (!lock.IsOpen()) return false;
  OptionMap options = ParseOptions(ReadWholeFileAsText(file));
  options[name] = value;
  const std::string text = SerialiseOptions(options);
  const std::string temporary = file + "." + std::to_string(platform::CurrentThreadId()) + ".tmp";
  platform::FileHandle out = platform::OpenFile(temporary, platform::Access::Write, platform::Share::None,
                                                platform::Disposition::CreateAlways);
  if (!out.IsOpen()) return false;
  const bool written = out.Write(text.data(), text.size()) && out.Flush();
  out.Close();
  if (!written || !platform::ReplaceFile(temporary, file)) {
    platform::DeleteFile(temporary);
    return false;
  }
  return true;
}

}  // namespace tw::option
