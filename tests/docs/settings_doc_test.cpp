// docs/settings.md must name every registry value, option and environment
// variable the library, its providers and the tool read, byte for byte, and
// nothing they no longer read. The names are taken from the calls of the
// reading functions, by the position of the name among the call's
// arguments, so a new setting read anywhere shows up here at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A function that reads a setting, and which of its arguments is the name.
struct Reader {
  std::string_view function;
  size_t nameArgument;
};

constexpr Reader kReaders[] = {
    {"ReadRegistryString", 1},  // (key, name, destination, capacity)
    {"ReadRegistryDword", 1},   // (key, name, destination)
    {"RegistryGetValue", 2},    // (hive, key, name)
    {"RegistryGetSecret", 2},   // (hive, key, name)
    {"ReadDwordOrDefault", 1},  // (key, name, fallback)
    {"ReadDwordOnce", 2},       // (cache, key, name, fallback)
    {"ReadNumber", 0},          // frame/settings.cpp: (name, source) under the store's key
    {"Root", 1},                // index/file/serialisation_settings.cpp: (cache, name, fallback)
    {"GetStoreOption", 2},      // (scope, object, name, value): the option provider
    {"getenv", 0},              // environment variables
    {"GetEnvironment", 0},
};

struct Source {
  std::string path;  // relative to the source tree
  std::string text;  // without comments
};

struct Found {
  std::map<std::string, std::string> names;  // name -> first place read
  std::vector<std::string> problems;         // calls whose name could not be told
};

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Skips a string or character literal starting at `at` (its quote); returns
// the position after it.
size_t SkipLiteral(std::string_view text, size_t at) {
  const char quote = text[at];
  size_t i = at + 1;
  while (i < text.size() && text[i] != quote) i += text[i] == '\\' ? 2 : 1;
  return std::min(i + 1, text.size());
}

std::string WithoutComments(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '"' || text[i] == '\'') {
      // A digit separator (1'000) is no literal.
      if (text[i] == '\'' && i > 0 && IsIdentifierChar(text[i - 1])) {
        out += text[i++];
        continue;
      }
      const size_t end = SkipLiteral(text, i);
      out.append(text.substr(i, end - i));
      i = end;
    } else if (text.substr(i, 2) == "//") {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (text.substr(i, 2) == "/*") {
      const size_t end = text.find("*/", i + 2);
      for (size_t j = i; j < std::min(end == std::string_view::npos ? text.size() : end + 2, text.size()); ++j)
        if (text[j] == '\n') out += '\n';  // keeps line numbers
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// The arguments of the call whose "(" is at `open`, split at the commas of
// its own level; empty when the parenthesis is never closed.
std::vector<std::string> Arguments(std::string_view text, size_t open) {
  std::vector<std::string> arguments;
  int depth = 0;
  size_t start = open + 1;
  for (size_t i = open; i < text.size();) {
    const char c = text[i];
    if (c == '"' || (c == '\'' && !(i > 0 && IsIdentifierChar(text[i - 1])))) {
      i = SkipLiteral(text, i);
      continue;
    }
    if (c == '(' || c == '[' || c == '{') ++depth;
    if (c == ')' || c == ']' || c == '}') {
      if (--depth == 0) {
        const std::string last = Trimmed(text.substr(start, i - start));
        if (!last.empty() || !arguments.empty()) arguments.push_back(last);
        return arguments;
      }
    }
    if (c == ',' && depth == 1) {
      arguments.push_back(Trimmed(text.substr(start, i - start)));
      start = i + 1;
    }
    ++i;
  }
  return {};
}

// The text of an argument made only of string literals ("a" "b"), with
// their escapes undone; false for anything else.
bool LiteralText(const std::string& argument, std::string& value) {
  value.clear();
  size_t i = 0;
  bool any = false;
  while (i < argument.size()) {
    if (argument[i] == ' ' || argument[i] == '\n' || argument[i] == '\t') {
      ++i;
      continue;
    }
    if (argument[i] != '"') return false;
    const size_t end = SkipLiteral(argument, i);
    for (size_t j = i + 1; j + 1 < end; ++j) {
      if (argument[j] == '\\' && j + 2 < end) ++j;
      value += argument[j];
    }
    i = end;
    any = true;
  }
  return any;
}

bool IsIdentifier(const std::string& text) {
  return !text.empty() && !(text[0] >= '0' && text[0] <= '9') &&
         std::all_of(text.begin(), text.end(), IsIdentifierChar);
}

// "const char* name", "const std::string& valueName": a parameter, as a
// reader's own declaration or definition has it. Its name, else empty.
std::string ParameterName(const std::string& argument) {
  if (argument.find_first_of("(\"=") != std::string::npos) return {};
  const size_t last = argument.find_last_of(" *&");
  if (last == std::string::npos) return {};
  // A type before the name: "&value" alone is an argument, not a parameter.
  const std::string type = argument.substr(0, last);
  if (std::none_of(type.begin(), type.end(), IsIdentifierChar)) return {};
  const std::string name = argument.substr(last + 1);
  return IsIdentifier(name) ? name : std::string();
}

int LineOf(std::string_view text, size_t at) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// Every call of a reader in `text`, with its position.
struct Call {
  size_t at;
  const Reader* reader;
  std::vector<std::string> arguments;
};

std::vector<Call> ReaderCalls(std::string_view text) {
  std::vector<Call> calls;
  for (const Reader& reader : kReaders) {
    for (size_t at = text.find(reader.function); at != std::string_view::npos;
         at = text.find(reader.function, at + 1)) {
      const size_t end = at + reader.function.size();
      if (at > 0 && IsIdentifierChar(text[at - 1])) continue;
      if (end >= text.size() || text[end] != '(') continue;
      calls.push_back({at, &reader, Arguments(text, end)});
    }
  }
  return calls;
}

// `name = "text"` or `name{"text"}` anywhere in the sources: a constant
// that holds a setting's name.
bool ConstantText(const std::vector<Source>& sources, const std::string& name, std::string& value) {
  for (const Source& source : sources) {
    const std::string_view text = source.text;
    for (size_t at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1)) {
      if ((at > 0 && IsIdentifierChar(text[at - 1])) || IsIdentifierChar(text[at + name.size()])) continue;
      size_t i = at + name.size();
      while (i < text.size() && text[i] == ' ') ++i;
      if (i >= text.size() || (text[i] != '=' && text[i] != '{')) continue;
      if (text[i] == '=' && i + 1 < text.size() && text[i + 1] == '=') continue;
      ++i;
      while (i < text.size() && text[i] == ' ') ++i;
      if (i >= text.size() || text[i] != '"') continue;
      const size_t end = SkipLiteral(text, i);
      if (LiteralText(std::string(text.substr(i, end - i)), value)) return true;
    }
  }
  return false;
}

Found ReadNames(const std::vector<Source>& sources) {
  Found found;
  for (const Source& source : sources) {
    const std::vector<Call> calls = ReaderCalls(source.text);
    // The parameters of this file's own readers: a name passed on through
    // one of them is read, and checked, where that reader is called.
    std::set<std::string> forwarded;
    for (const Call& call : calls)
      for (const std::string& argument : call.arguments)
        if (const std::string name = ParameterName(argument); !name.empty()) forwarded.insert(name);

    for (const Call& call : calls) {
      if (call.arguments.size() <= call.reader->nameArgument) continue;  // another function of that name
      const std::string& argument = call.arguments[call.reader->nameArgument];
      const std::string place = source.path + ":" + std::to_string(LineOf(source.text, call.at));
      std::string value;
      if (!ParameterName(argument).empty()) continue;  // a declaration or definition
      if (LiteralText(argument, value) || (IsIdentifier(argument) && !forwarded.count(argument) &&
                                           ConstantText(sources, argument, value))) {
        found.names.emplace(value, place);
      } else if (!(IsIdentifier(argument) && forwarded.count(argument))) {
        found.problems.push_back(place + ": the name read by " + std::string(call.reader->function) +
                                 " cannot be told from \"" + argument + "\"");
      }
    }
  }
  return found;
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<Source> ProductSources() {
  std::vector<Source> sources;
  const fs::path root = TW_SOURCE_DIR;
  for (const char* directory : {"src", "providers", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / directory)) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h")) continue;
      sources.push_back({fs::relative(entry.path(), root).string(), WithoutComments(ReadWhole(entry.path()))});
    }
  }
  return sources;
}

// The names in the first column of the document's tables ("| `Name` |").
std::set<std::string> DocumentedNames(const std::string& document) {
  std::set<std::string> names;
  std::istringstream lines(document);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const size_t end = line.find('`', 3);
    if (end != std::string::npos) names.insert(line.substr(3, end - 3));
  }
  return names;
}

std::vector<std::string> Undocumented(const Found& found, const std::set<std::string>& documented) {
  std::vector<std::string> missing;
  for (const auto& [name, place] : found.names)
    if (!documented.count(name)) missing.push_back("\"" + name + "\" (read at " + place + ")");
  return missing;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += "  " + line + "\n";
  return out;
}

TEST(SettingsDocument, NamesEverySettingTheCodeReadsAndNoOther) {
  const std::vector<Source> sources = ProductSources();
  const Found found = ReadNames(sources);
  EXPECT_TRUE(found.problems.empty()) << "calls whose setting name the check cannot tell (use a literal or a "
                                         "constant initialised with one):\n"
                                      << Joined(found.problems);

  // The scan must see the settings of every part, or it checks nothing.
  for (const char* known : {"Mail Root", "Mail Root Directory", "Index Injection Size Limit", "Notify Port",
                            "Block File Mode", "Maximum Index Rows", "Flush Index Journal", "XML Version",
                            "PostofficeRoot", "TW_REGISTRY_FILE", "TW_NOTIFY_DIR"})
    EXPECT_TRUE(found.names.count(known)) << "the scan did not find \"" << known << "\"";

  const std::set<std::string> documented = DocumentedNames(ReadWhole(fs::path(TW_SOURCE_DIR) / "docs/settings.md"));
  EXPECT_EQ(Undocumented(found, documented), std::vector<std::string>{})
      << "add these to the tables of docs/settings.md";

  std::vector<std::string> stale;
  for (const std::string& name : documented)
    if (!found.names.count(name)) stale.push_back(name);
  EXPECT_EQ(stale, std::vector<std::string>{}) << "docs/settings.md lists names that nothing reads";
}

// The check itself: a setting read in any of the forms the code uses, and
// not in the document, is reported; a name it cannot tell is reported too.
TEST(SettingsDocument, CheckReportsWhatTheDocumentLacks) {
  const std::vector<Source> sources = {
      {"a.cpp", WithoutComments("constexpr const char* kValue = \"Constant Value\";\n"
                                "uint32_t ReadNumber(const char* valueName, std::string* source) {\n"
                                "  return ReadRegistryDword(kRegistryRoot, valueName, &value);\n"
                                "}\n"
                                "uint32_t A() { return ReadNumber(\"Via Wrapper\", nullptr); }\n"
                                "// ReadRegistryDword(kRegistryRoot, \"Only In A Comment\", &v);\n"
                                "uint32_t B() { return ReadDwordOnce(g_b, std::string(kRegistryRoot) + \"\\\\Sub\",\n"
                                "                                   \"Split \" \"Literal\", 0); }\n"
                                "uint32_t C() { return ReadDwordOrDefault(kProvidersKey, kValue, 1); }\n"
                                "uint32_t D() { return ReadRegistryDword(kRegistryRoot, Pick(2), &v); }\n")},
  };
  const Found found = ReadNames(sources);
  std::set<std::string> names;
  for (const auto& [name, place] : found.names) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"Constant Value", "Split Literal", "Via Wrapper"}));
  ASSERT_EQ(found.problems.size(), 1u);
  EXPECT_NE(found.problems[0].find("a.cpp:10"), std::string::npos) << found.problems[0];

  EXPECT_EQ(Undocumented(found, DocumentedNames("| `Via Wrapper` | DWORD |\n| `Split Literal` | text |\n")),
            std::vector<std::string>{"\"Constant Value\" (read at a.cpp:9)"});
}

}  // namespace
