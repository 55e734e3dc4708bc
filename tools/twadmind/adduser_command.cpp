#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/password_hash.h"
#include "platform/private_file.h"
#include "users_file.h"

namespace tw::admind {
namespace {

constexpr size_t kMaxUsersFile = 1024 * 1024;
constexpr size_t kMaxSecret = 255;  // what an AUTH request can carry

}  // namespace

int AddUser(const AddUserOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
  if (!ValidUserName(options.name)) {
    err << "twadmind: a user name is 1 to 64 letters, digits, \".\", \"_\", \"-\" or \"@\"\n";
    return 2;
  }
  std::string text;
  switch (platform::ReadPrivateFile(options.users, text, kMaxUsersFile)) {
    case platform::PrivateFileRead::kRead:
    case platform::PrivateFileRead::kMissing: break;
    case platform::PrivateFileRead::kReadableByOthers:
      err << "twadmind: others can read " << options.users << "; nothing was changed (chmod o-rw it first)\n";
      return 1;
    case platform::PrivateFileRead::kFailed: err << "twadmind: cannot read " << options.users << "\n"; return 1;
  }
  std::vector<UserEntry> users;
  std::string why;
  if (!ParseUsers(text, users, why)) {
    err << "twadmind: " << options.users << ": " << why << "; nothing was changed\n";
    return 1;
  }

  // The secret is the first line of standard input, so that it never shows
  // in a process list or a shell history.
  std::string secret;
  std::getline(in, secret);
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  // The AUTH field is cut at 255 characters, after "name:".
  if (secret.empty() || secret.size() + options.name.size() + 1 > kMaxSecret ||
      secret.find('\0') != std::string::npos) {
    err << "twadmind: the secret comes as one line on standard input, not empty, and with the name and \":\" at "
           "most "
        << kMaxSecret << " characters\n";
    return 2;
  }
  const std::string hash = platform::HashSecret(secret);
  if (hash.empty()) {
    err << "twadmind: the system could not hash the secret\n";
    return 1;
  }
  if (!platform::WritePrivateFile(options.users, WithUser(text, options.name, hash))) {
    err << "twadmind: cannot write " << options.users << "\n";
    return 1;
  }
  out << "twadmind: " << options.name << " set in " << options.users << "\n";
  return 0;
}

}  // namespace tw::admind
