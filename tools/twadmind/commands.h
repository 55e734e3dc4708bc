// The twadmind commands, each run from main once its options are read.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

namespace tw::admind {

struct ServeOptions {
  std::string listen = "127.0.0.1";
  uint16_t port = 8081;
  std::string users = "/etc/tarnwick/twadmind.users";
  std::string libraryDirectory;  // empty: beside the program
  uint32_t maxConnections = 16;
  uint32_t idleTimeoutSeconds = 300;
  uint32_t requestDeadlineSeconds = 120;
};

struct AddUserOptions {
  std::string name;
  std::string users = "/etc/tarnwick/twadmind.users";
};

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err);
int AddUser(const AddUserOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tw::admind
