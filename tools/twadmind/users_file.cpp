#include "users_file.h"

#include "platform/password_hash.h"
#include "platform/private_file.h"

namespace tw::admind {
namespace {

constexpr size_t kMaxUsersFile = 1024 * 1024;
constexpr size_t kMaxNameLength = 64;

bool Ignored(std::string_view line) { return line.empty() || line[0] == '#'; }

std::string_view NameOf(std::string_view line) { return line.substr(0, line.find(':')); }

// Lines without their ends (a final line end or none).
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

bool ValidUserName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-' || c == '@';
    if (!ok) return false;
  }
  return true;
}

bool ParseUsers(std::string_view text, std::vector<UserEntry>& users, std::string& why) {
  users.clear();
  size_t number = 0;
  bool ok = true;
  ForEachLine(text, [&](std::string_view line) {
    ++number;
    if (!ok || Ignored(line)) return;
    const size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    const std::string_view hash = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    if (!ValidUserName(name) || hash.empty() || hash[0] != '$') {
      why = "line " + std::to_string(number) + " is not \"name:$hash\"";
      ok = false;
      return;
    }
    for (const UserEntry& user : users)
      if (user.name == name) {
        why = "line " + std::to_string(number) + " repeats the user " + std::string(name);
        ok = false;
        return;
      }
    users.push_back({std::string(name), std::string(hash)});
  });
  if (!ok) users.clear();
  return ok;
}

std::string WithUser(std::string_view text, std::string_view name, std::string_view hash) {
  const std::string entry = std::string(name) + ":" + std::string(hash);
  std::string result;
  bool replaced = false;
  ForEachLine(text, [&](std::string_view line) {
    if (!Ignored(line) && NameOf(line) == name) {
      if (!replaced) result += entry + "\n";
      replaced = true;
    } else {
      result.append(line).append("\n");
    }
  });
  if (!replaced) result += entry + "\n";
  return result;
}

bool UsersFile::Load(const std::string& path, std::string& why) {
  std::string text;
  switch (platform::ReadPrivateFile(path, text, kMaxUsersFile)) {
    case platform::PrivateFileRead::kRead: break;
    case platform::PrivateFileRead::kMissing: why = "no users file " + path; return false;
    case platform::PrivateFileRead::kReadableByOthers:
      why = "others can read the users file " + path + " (chmod o-rw it)";
      return false;
    case platform::PrivateFileRead::kFailed: why = "cannot read the users file " + path; return false;
  }
  std::vector<UserEntry> users;
  if (!ParseUsers(text, users, why)) {
    why = path + ": " + why;
    return false;
  }
  Use(std::move(users));
  return true;
}

void UsersFile::Use(std::vector<UserEntry> users) {
  users_ = std::move(users);
  dummyHash_ = platform::HashSecret("no such user");
}

bool UsersFile::Check(std::string_view credentials) const {
  const size_t colon = credentials.find(':');
  const std::string_view name = credentials.substr(0, colon);
  const std::string_view secret = colon == std::string_view::npos ? std::string_view() : credentials.substr(colon + 1);
  const UserEntry* found = nullptr;
  for (const UserEntry& user : users_)
    if (user.name == name) found = &user;
  const bool matches = platform::SecretMatches(secret, found ? found->hash : dummyHash_);
  return found != nullptr && colon != std::string_view::npos && matches;
}

}  // namespace tw::admind
