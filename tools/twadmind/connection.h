// One connection, served to its end in the child process made for it.
#pragma once
#include <cstdint>

#include "platform/tcp_listener.h"
#include "services/remote/admin_session.h"

namespace tw::admind {

struct ConnectionLimits {
  // The longest wait for the next whole request.
  uint32_t idleTimeoutMs = 300000;
  // The longest a request may take to be answered; past it the child ends.
  uint32_t requestDeadlineSeconds = 120;
  uint32_t sendTimeoutMs = 30000;
};

// Reads requests, answers them, and returns when the peer goes, is silent
// too long, or the session closes.
void ServeConnection(platform::TcpStream& stream, remote::AdminSession& session, const ConnectionLimits& limits);

}  // namespace tw::admind
