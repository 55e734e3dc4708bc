// Message files with headers as mail servers leave them (2 to 8 KiB of
// Received, DKIM and ARC lines, addresses, subject, date, message ID and
// MIME headers) for the store index benchmarks, and a scratch mail root
// whose registry points the store at it.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace twbench {

// A deterministic pseudo-random stream per message.
class Dice {
 public:
  explicit Dice(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

inline std::string Hex(Dice& dice, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < digits; ++i) out += kDigits[dice.Below(16)];
  return out;
}

inline std::string Base64ish(Dice& dice, size_t length) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < length; ++i) out += kDigits[dice.Below(64)];
  return out;
}

inline std::string Address(Dice& dice) {
  static const char* kNames[] = {"Jane Sender", "Bob Miller", "Ana Lopez", "Wei Chen", "Olga Ivanova", "Sam Okafor"};
  static const char* kDomains[] = {"example.com", "example.org", "mail.example.net", "corp.example.co.uk"};
  const char* name = kNames[dice.Below(6)];
  std::string local = name;
  for (char& c : local) c = (c == ' ') ? '.' : static_cast<char>(c | 0x20);
  return std::string("\"") + name + "\" <" + local + std::to_string(dice.Below(5000)) + "@" + kDomains[dice.Below(4)] +
         ">";
}

inline std::string AddressList(Dice& dice, uint32_t count) {
  std::string out;
  for (uint32_t i = 0; i < count; ++i) out += (i == 0 ? "" : ",\r\n\t") + Address(dice);
  return out;
}

inline std::string MessageDate(Dice& dice, int hourShift = 0) {
  static const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %u %s 2026 %02u:%02u:%02u +0000", kDays[dice.Below(7)], 1 + dice.Below(28),
                kMonths[dice.Below(12)], (dice.Below(24) + static_cast<uint32_t>(hourShift)) % 24, dice.Below(60),
                dice.Below(60));
  return text;
}

// The whole message file for message `n`: a header of 2 to 8 KiB, a blank
// line and a short body. One in ten is multipart/mixed with an attachment
// part, so the parser also searches bodies.
inline std::string MessageText(uint64_t n) {
  Dice dice(n + 1);
  const uint32_t target = 2048 + dice.Below(6 * 1024);
  std::string top = "Return-Path: <bounce-" + Hex(dice, 12) + "@lists.example.org>\r\n";
  top += "Received: from mx" + std::to_string(dice.Below(9)) + ".example.org (mx.example.org [192.0.2." +
         std::to_string(dice.Below(250)) + "])\r\n\tby store.example.com with ESMTPS id " + Hex(dice, 16) +
         "\r\n\tfor <inbox@example.com>; " + MessageDate(dice) + "\r\n";
  std::string h;
  h.reserve(target + 2048);
  h += "Authentication-Results: store.example.com; dkim=pass header.d=example.org; spf=pass "
       "smtp.mailfrom=lists.example.org; dmarc=pass (p=NONE) header.from=example.org\r\n";
  h += "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.org; s=s2026;\r\n\th=from:to:cc:subject:"
       "date:message-id:mime-version:content-type;\r\n\tbh=" +
       Base64ish(dice, 44) + ";\r\n\tb=" + Base64ish(dice, 70) + "\r\n\t " + Base64ish(dice, 70) + "\r\n\t " +
       Base64ish(dice, 70) + "\r\n\t " + Base64ish(dice, 70) + "\r\n";
  h += "From: " + Address(dice) + "\r\n";
  h += "To: " + AddressList(dice, 1 + dice.Below(6)) + "\r\n";
  if (dice.Below(2) == 0) h += "Cc: " + AddressList(dice, 1 + dice.Below(8)) + "\r\n";
  h += "Subject: Re: Quarterly figures for the northern region, draft " + std::to_string(n) + "\r\n";
  h += "Date: " + MessageDate(dice) + "\r\n";
  h += "Message-ID: <" + Hex(dice, 24) + "@mail.example.org>\r\n";
  h += "MIME-Version: 1.0\r\n";
  const bool mixed = dice.Below(10) == 0;
  const std::string boundary = "----=_Part_" + Hex(dice, 20);
  h += std::string("Content-Type: ") + (mixed ? "multipart/mixed" : "multipart/alternative") +
       ";\r\n\tboundary=\"" + boundary + "\"\r\n";
  h += "X-Mailer: Example Mailer 16.0.1\r\n";
  // Earlier relays below the store's own Received line until the header
  // reaches its size.
  std::string relays;
  while (top.size() + h.size() + relays.size() < target) {
    relays += "Received: from relay" + std::to_string(dice.Below(90)) + ".example.net (relay.example.net [198.51.100." +
              std::to_string(dice.Below(250)) + "])\r\n\tby mx.example.org (Postfix) with ESMTPS id " + Hex(dice, 10) +
              "\r\n\tfor <list@example.org>; " + MessageDate(dice) + "\r\n";
    if (dice.Below(3) == 0)
      relays += "ARC-Seal: i=1; a=rsa-sha256; t=17" + std::to_string(dice.Below(99999999)) +
                "; cv=none; d=example.net; s=arc;\r\n\tb=" + Base64ish(dice, 72) + "\r\n\t " + Base64ish(dice, 60) +
                "\r\n";
  }
  std::string text = top + relays + h + "\r\n";
  text += "--" + boundary + "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
  for (uint32_t i = 0, lines = 5 + dice.Below(20); i < lines; ++i)
    text += "The figures for the region are attached; please check line " + std::to_string(i) + ".\r\n";
  if (mixed)
    text += "--" + boundary + "\r\nContent-Type: application/pdf; name=\"figures.pdf\"\r\n"
            "Content-Disposition: attachment; filename=\"figures.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
            Base64ish(dice, 76) + "\r\n" + Base64ish(dice, 76) + "\r\n";
  text += "--" + boundary + "--\r\n";
  return text;
}

inline std::string MessageName(const std::string& prefix, uint64_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX.MAI", static_cast<unsigned long long>(n));
  return prefix + text;
}

// A directory under the temporary directory with a registry that makes it
// the store's mail root (postoffice "PO"), turns on the stream serialiser
// for loads and saves and lets a walk take a million files. Removed with everything in it, unless
// `keep`.
class ScratchMailRoot {
 public:
  explicit ScratchMailRoot(const std::string& prefix, bool keep = false) : keep_(keep) {
    namespace fs = std::filesystem;
    path_ = (fs::temp_directory_path() / (prefix + std::to_string(std::random_device{}()))).string();
    fs::create_directories(path_ + "/MAIL");
    Init();
  }
  // A root another process made.
  struct Existing {};
  ScratchMailRoot(Existing, const std::string& path) : path_(path), keep_(true) {
    setenv("TW_REGISTRY_FILE", (path_ + "/registry.reg").c_str(), 1);
  }
  // Makes the root at `path` and keeps it.
  struct Make {};
  ScratchMailRoot(Make, const std::string& path) : path_(path), keep_(true) {
    std::filesystem::create_directories(path_ + "/MAIL");
    Init();
  }
  ~ScratchMailRoot() {
    if (keep_) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchMailRoot(const ScratchMailRoot&) = delete;
  ScratchMailRoot& operator=(const ScratchMailRoot&) = delete;

  const std::string& path() const { return path_; }
  // The Linux directory of a mailbox's Inbox.
  std::string Inbox(const std::string& mailbox) const { return path_ + "/MAIL/PO/MAILROOT/" + mailbox + "/Inbox"; }

 private:
  void Init() {
    std::ofstream(path_ + "/registry.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n\"Mail Root\"=\""
        << path_ << "/MAIL\"\r\n"
        << "\"Use XML Stream Index Deserialisation\"=dword:00000001\r\n"
           "\"Use XML Stream Index Serialisation\"=dword:00000001\r\n"
           // The default (100,000) stops a walk at the 100,000th file.
           "\"Maximum Index Rows\"=dword:000f4240\r\n\r\n";
    setenv("TW_REGISTRY_FILE", (path_ + "/registry.reg").c_str(), 1);
  }
  std::string path_;
  bool keep_;
};

// Writes messages [from, to) into `directory`; false when a write failed.
inline bool WriteMessages(const std::string& directory, uint64_t from, uint64_t to, const std::string& prefix = "") {
  std::filesystem::create_directories(directory);
  for (uint64_t n = from; n < to; ++n) {
    std::ofstream file(directory + "/" + MessageName(prefix, n), std::ios::binary);
    const std::string text = MessageText(n);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file) return false;
  }
  return true;
}

inline double SecondsSince(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

inline double CpuSecondsSince(std::clock_t from) {
  return static_cast<double>(std::clock() - from) / CLOCKS_PER_SEC;
}

}  // namespace twbench
