// `twadmind serve` started for a test on a free loopback port, with the
// registry and users file given; stopped (SIGTERM) when the object goes.
#pragma once
#include <signal.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace tw::test {

class RunningService {
 public:
  RunningService() = default;
  ~RunningService() { Stop(); }
  RunningService(const RunningService&) = delete;
  RunningService& operator=(const RunningService&) = delete;

  // Its first line names the port it got and its process id; its standard
  // error goes to `errorsPath`.
  void Start(const std::string& registry, const std::string& users, const std::string& errorsPath,
             const std::string& options = "") {
    const std::string command = "TW_REGISTRY_FILE='" + registry + "' exec '" TW_TEST_BIN_DIR
                                "/twadmind' serve --port 0 --users '" + users + "' " + options + " 2>'" +
                                errorsPath + "'";
    server_ = popen(command.c_str(), "r");
    ASSERT_NE(server_, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, server_), nullptr) << "the service did not start";
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(line, "twadmind: listening on 127.0.0.1:%u (pid %ld)", &port, &pid_), 2) << line;
    port_ = static_cast<uint16_t>(port);
  }

  void Stop() {
    if (server_ == nullptr) return;
    if (pid_ > 0) kill(static_cast<pid_t>(pid_), SIGTERM);
    pclose(server_);
    server_ = nullptr;
  }

  uint16_t port() const { return port_; }

 private:
  FILE* server_ = nullptr;
  long pid_ = 0;
  uint16_t port_ = 0;
};

}  // namespace tw::test
