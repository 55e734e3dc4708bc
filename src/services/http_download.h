// Fetches a calendar published on a web server ("http://" or "https://")
// for the calendar reader. The whole body comes back in memory, so the
// download is capped, and every way it can go wrong ends in a non-zero
// result with no bytes: a half calendar must never pass for a whole one.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

// The results the calendar reader knows: success, access denied (a 4xx
// status) and the general failure (a 5xx status and everything else).
inline constexpr uint32_t kDownloadSucceeded = 0;
inline constexpr uint32_t kDownloadAccessDenied = 0x80070005u;
inline constexpr uint32_t kDownloadFailed = 0x80004005u;

// The largest calendar accepted, announced or received.
inline constexpr size_t kDownloadLimit = size_t{16} << 20;
// Redirects followed before the download is refused.
inline constexpr long kDownloadRedirectLimit = 5;

// Why a download failed, for logs and tests; the caller decides on `result`.
enum class DownloadFailure {
  kNone,
  kBadUrl,          // not an http(s) URL, or not a usable one
  kHttpStatus,      // the final response was not a 2xx
  kTooLarge,        // over kDownloadLimit, announced or received
  kRedirect,        // too many redirects, or one to another scheme
  kTimedOut,        // connect or total time-out
  kCertificate,     // the server's certificate or its revocation check failed
  kTransfer,        // anything else on the way: name, connection, protocol
};

struct DownloadResult {
  std::string bytes;  // the whole body; empty unless result is kDownloadSucceeded
  uint32_t result = kDownloadFailed;
  long httpStatus = 0;  // the final response's status, 0 when there was none
  DownloadFailure failure = DownloadFailure::kTransfer;
};

struct DownloadSettings {
  std::chrono::milliseconds connectTimeout{10000};
  // The whole exchange, redirects included.
  std::chrono::milliseconds totalTimeout{60000};
  // Certificate authorities to trust instead of the system's, and a
  // revocation list to check against; empty for none.
  std::string caFile;
  std::string crlFile;
};

// Downloads `url`. Proxies come from the environment (http_proxy,
// https_proxy, no_proxy) as for any other program. Safe to call from
// several threads at once.
DownloadResult DownloadCalendar(std::string_view url, const DownloadSettings& settings = {});

}  // namespace tw
