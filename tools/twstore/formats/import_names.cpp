#include "formats/import_names.h"

#include <cstdio>

#include "formats/maildir_info.h"

namespace tw::formats {
namespace {

constexpr std::string_view kSuffix = ".MAI";
constexpr size_t kHashText = 9;  // "_" and 8 hex digits

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

}  // namespace

uint32_t Fnv1a32(std::string_view bytes) {
  uint32_t hash = 2166136261u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

std::string ImportFileName(std::string_view sourceKey) {
  const size_t stemLimit = kImportNameLimit - kSuffix.size();
  std::string stem;
  bool changed = false;
  bool capitals = false;
  bool onlyDots = true;
  for (const char c : sourceKey) {
    if (IsNameByte(c)) {
      stem += c;
    } else {
      stem += '_';
      changed = true;
    }
    capitals = capitals || (c >= 'A' && c <= 'Z');
    onlyDots = onlyDots && c == '.';
  }
  if (stem.empty() || stem[0] == '_' || onlyDots) {
    stem.insert(0, "m");
    changed = true;
  }
  changed = changed || stem.size() > stemLimit;
  if (changed || capitals) {
    if (stem.size() > stemLimit - kHashText) stem.resize(stemLimit - kHashText);
    stem += '_';
    stem += Hex8(Fnv1a32(sourceKey));
  }
  return stem + std::string(kSuffix);
}

std::string MaildirSourceKey(std::string_view fileName) { return std::string(SplitMaildirFileName(fileName).unique); }

std::string MboxSourceKey(std::string_view mboxStem, uint64_t ordinal, std::string_view identity) {
  return std::string(mboxStem) + "_" + std::to_string(ordinal) + "_" + Hex8(Fnv1a32(identity));
}

std::string EmlSourceKey(std::string_view fileStem) { return std::string(fileStem); }

}  // namespace tw::formats
