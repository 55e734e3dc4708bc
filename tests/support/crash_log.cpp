#include "support/crash_log.h"

#include <algorithm>
#include <cstdlib>

namespace tw::test {
namespace {

const char* const kKindNames[] = {"deliver", "update", "delete", "remove", "record", "reindex", "backup"};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    const size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
    if (tab == std::string::npos) return fields;
    at = tab + 1;
  }
}

uint32_t Number(const std::string& text) { return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10)); }

const std::string& Field(const std::vector<std::string>& fields, size_t i) {
  static const std::string empty;
  return i < fields.size() ? fields[i] : empty;
}

CrashOp* Find(CrashLog& log, uint32_t number) {
  for (CrashOp& op : log.ops)
    if (op.number == number) return &op;
  return nullptr;
}

}  // namespace

const char* CrashKindName(CrashOp::Kind kind) { return kKindNames[static_cast<int>(kind)]; }

std::string JoinIds(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : ",") + id;
  return text;
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(separator, at), text.size());
    if (end > at) pieces.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return pieces;
}

std::string CrashOp::Describe() const {
  std::string text = "#" + std::to_string(number) + " " + kKindNames[static_cast<int>(kind)];
  switch (kind) {
    case Kind::Deliver:
      text += name.empty() ? "" : " " + name;
      text += this->text.empty() ? "" : " flags '" + this->text + "'";
      break;
    case Kind::Update: text += " " + JoinIds(ids) + " change '" + this->text + "'"; break;
    case Kind::Delete:
    case Kind::Remove: text += " " + JoinIds(ids); break;
    case Kind::Record:
      text += " mode " + std::to_string(mode) + (commit ? " commit" : " save");
      for (const auto& [id, flags] : sets) text += ", set " + id + " '" + flags + "'";
      if (!removes.empty()) text += ", remove " + JoinIds(removes);
      if (!planned) text += " (changes not all made)";
      break;
    case Kind::Reindex: text += mode == 2 ? " (open mode 2)" : " (scan)"; break;
    case Kind::Backup: break;
  }
  text += ended ? " -> " + std::to_string(result) : " (in flight)";
  if (waitedMs > 0) text += ", waited " + std::to_string(waitedMs) + " ms";
  return text;
}

const CrashOp* CrashLog::InFlight() const {
  return !ops.empty() && !ops.back().ended ? &ops.back() : nullptr;
}

CrashLog ParseCrashLog(const std::string& text) {
  CrashLog log;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::vector<std::string> f = Fields(text.substr(at, end - at));
    const std::string& tag = f[0];
    if (tag == "D") {
      log.finished = true;
      log.mutations = std::strtoull(Field(f, 1).c_str(), nullptr, 10);
      continue;
    }
    if (tag == "K") {
      log.killedAt = Field(f, 1) + " " + Field(f, 2);
      continue;
    }
    const uint32_t number = Number(Field(f, 1));
    if (tag == "B") {
      CrashOp op;
      op.number = number;
      const std::string& kind = Field(f, 2);
      for (int k = 0; k < 7; ++k)
        if (kind == kKindNames[k]) op.kind = static_cast<CrashOp::Kind>(k);
      switch (op.kind) {
        case CrashOp::Kind::Deliver: op.text = Field(f, 3); break;
        case CrashOp::Kind::Update:
          op.ids = SplitIds(Field(f, 3));
          op.text = Field(f, 4);
          break;
        case CrashOp::Kind::Delete:
        case CrashOp::Kind::Remove: op.ids = SplitIds(Field(f, 3)); break;
        case CrashOp::Kind::Record:
          op.mode = Number(Field(f, 3));
          op.commit = Field(f, 4) == "commit";
          break;
        case CrashOp::Kind::Reindex: op.mode = Field(f, 3) == "2" ? 2 : 0; break;
        case CrashOp::Kind::Backup: break;
      }
      log.ops.push_back(op);
      continue;
    }
    CrashOp* op = Find(log, number);
    if (op == nullptr) continue;
    if (tag == "S") op->sets.emplace_back(Field(f, 2), Field(f, 3));
    if (tag == "R")
      for (const std::string& id : SplitIds(Field(f, 2))) op->removes.push_back(id);
    if (tag == "P") op->planned = true;
    if (tag == "W") op->waitedMs = std::strtoull(Field(f, 2).c_str(), nullptr, 10);
    if (tag == "E") {
      op->ended = true;
      op->result = static_cast<int32_t>(std::strtol(Field(f, 2).c_str(), nullptr, 10));
      if (!Field(f, 3).empty()) op->name = Field(f, 3);
    }
  }
  return log;
}

std::string CrashBeginLine(const CrashOp& op) {
  std::string line = "B\t" + std::to_string(op.number) + "\t" + kKindNames[static_cast<int>(op.kind)];
  switch (op.kind) {
    case CrashOp::Kind::Deliver: line += "\t" + op.text; break;
    case CrashOp::Kind::Update: line += "\t" + JoinIds(op.ids) + "\t" + op.text; break;
    case CrashOp::Kind::Delete:
    case CrashOp::Kind::Remove: line += "\t" + JoinIds(op.ids); break;
    case CrashOp::Kind::Record:
      line += "\t" + std::to_string(op.mode) + (op.commit ? "\tcommit" : "\tsave");
      break;
    case CrashOp::Kind::Reindex: line += op.mode == 2 ? "\t2" : "\tscan"; break;
    case CrashOp::Kind::Backup: break;
  }
  return line + "\n";
}

std::string CrashEndLine(uint32_t number, int32_t result, const std::string& name) {
  return "E\t" + std::to_string(number) + "\t" + std::to_string(result) + (name.empty() ? "" : "\t" + name) + "\n";
}

}  // namespace tw::test
