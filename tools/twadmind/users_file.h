// The service's users file: one "name:hash" line per user, the hash a
// crypt(3) string; blank lines and lines starting with "#" are kept as they
// are. It holds the keys to the store, so it is refused when others can
// read it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tw::admind {

struct UserEntry {
  std::string name;
  std::string hash;
};

// Letters, digits, ".", "_", "-" and "@"; 1 to 64 of them.
bool ValidUserName(std::string_view name);

// The entries of a users file's text; false with the line at fault in `why`.
bool ParseUsers(std::string_view text, std::vector<UserEntry>& users, std::string& why);

// The text with `name`'s line set to `hash`: replaced where it was, else
// added at the end.
std::string WithUser(std::string_view text, std::string_view name, std::string_view hash);

class UsersFile {
 public:
  // Reads and parses the file; false with the reason in `why` (missing,
  // readable by others, malformed).
  bool Load(const std::string& path, std::string& why);
  // Builds the file from entries already read (tests).
  void Use(std::vector<UserEntry> users);

  // "user:secret" against the file. An unknown user costs a check against
  // a hash of the same kind, so the time taken does not tell who exists.
  bool Check(std::string_view credentials) const;

  size_t size() const { return users_.size(); }

 private:
  std::vector<UserEntry> users_;
  std::string dummyHash_;
};

}  // namespace tw::admind
