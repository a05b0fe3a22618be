// veltra-settings: shows and edits the settings store from the shell, through
// the same store code that the programs use.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/settings/Registry.h"

namespace {

using veltra::Registry;
using veltra::RegistryRoot;
using veltra::RegistryStatus;
using veltra::RegistryType;
using veltra::RegistryValue;

constexpr int kSuccess = 0;
constexpr int kMissing = 1;
constexpr int kUsage = 2;
constexpr int kStoreFailure = 3;

constexpr const char* kUsageText = R"(usage: veltra-settings COMMAND [--machine] ARGUMENTS
  list [--machine] [KEY]               subkeys and values of KEY (the root when omitted)
  get [--machine] KEY NAME             one value
  set [--machine] KEY NAME TYPE VALUE  TYPE is dword, string or binary
  delete [--machine] KEY [NAME]        one value, or the key with all its subkeys
  where                                the database files
  --help                               this text

Without --machine the current user's settings are used. KEY is a backslash path,
e.g. 'Software\Orv\Veltra\Server\Settings' (quote it for the shell); key and value
names compare without regard to case. "--" ends the options. The word after
TYPE is always the VALUE, even when it starts with '-'.

VALUE: dword in decimal (-2147483648 to 4294967295) or hexadecimal with 0x;
binary as hex digit pairs, optionally separated by blanks or colons ("" for none).

Output, one item per line:
  list    subkeys first as "NAME\", then values as "NAME<TAB>TYPE<TAB>VALUE";
          backslashes, tabs, line ends and other control characters in names
          and strings are written as \\ \t \n \r \xHH
  get     the bare value: dword as signed decimal, string as stored, binary as hex
  where   "user<TAB>PATH" and "machine<TAB>PATH"

Exit status: 0 done, 1 key or value missing, 2 usage error, 3 the store cannot
be written or failed (also when it stayed busy past the wait to read it).
)";

// The problem and the one-line synopsis; the whole text is for --help, so
// that the problem stays in sight.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "veltra-settings: %s\n", problem.c_str());
  std::fprintf(stderr, "%.*s\nTry 'veltra-settings --help'.\n",
               static_cast<int>(std::strcspn(kUsageText, "\n")), kUsageText);
  return kUsage;
}

int StoreFailure(const std::string& what, RegistryStatus status) {
  if (status == RegistryStatus::Failed)
    std::fprintf(stderr,
                 "veltra-settings: %s: the settings store could not be read or written (busy or failing)\n",
                 what.c_str());
  else
    std::fprintf(stderr, "veltra-settings: %s: %s\n", what.c_str(), veltra::RegistryStatusText(status));
  return status == RegistryStatus::Missing ? kMissing : kStoreFailure;
}

// Opens an existing key; a store that could not be read is no missing key.
bool OpenExisting(Registry& key, RegistryRoot root, const std::string& path, int& exitCode) {
  if (key.Open(root, path, Registry::Disposition::ExistingOnly)) return true;
  if (key.OpenStatus() == RegistryStatus::Missing) {
    std::fprintf(stderr, "veltra-settings: no key %s\n", path.c_str());
    exitCode = kMissing;
  } else {
    exitCode = StoreFailure(path, key.OpenStatus());
  }
  return false;
}

std::string Escape(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    switch (c) {
      case '\\':
        result += "\\\\";
        break;
      case '\t':
        result += "\\t";
        break;
      case '\n':
        result += "\\n";
        break;
      case '\r':
        result += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char code[8];
          std::snprintf(code, sizeof code, "\\x%02x", c);
          result += code;
        } else {
          result += char(c);
        }
    }
  }
  return result;
}

std::string Hex(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string result;
  for (unsigned char b : bytes) {
    result += kDigits[b >> 4];
    result += kDigits[b & 15];
  }
  return result;
}

std::string Shown(const RegistryValue& value, bool escaped) {
  switch (value.type) {
    case RegistryType::Dword:
      return std::to_string(static_cast<int32_t>(value.Dword()));
    case RegistryType::String:
      return escaped ? Escape(value.String()) : value.String();
    case RegistryType::Binary:
      return Hex(value.data);
  }
  return std::string();
}

bool ParseDword(const std::string& text, uint32_t& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long number = 0;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  number = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || end == text.c_str()) return false;
  if (hex && text[2] == '-') return false;
  if (number < INT32_MIN || number > int64_t(UINT32_MAX)) return false;
  value = static_cast<uint32_t>(number);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const std::string& text, std::vector<unsigned char>& bytes) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == ':' || c == '\t') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<unsigned char>(high << 4 | low));
    i += 2;
  }
  return true;
}

int List(RegistryRoot root, const std::string& path) {
  Registry key;
  int exitCode = kSuccess;
  if (!OpenExisting(key, root, path, exitCode)) return exitCode;
  // Both lists are read before anything is printed: no half listing.
  std::vector<std::string> subkeys;
  std::vector<RegistryValue> values;
  RegistryStatus status = key.Subkeys(subkeys);
  if (status == RegistryStatus::Ok) status = key.Values(values);
  if (status != RegistryStatus::Ok) return StoreFailure(path, status);
  for (const auto& name : subkeys) std::printf("%s\\\n", Escape(name).c_str());
  for (const auto& value : values)
    std::printf("%s\t%s\t%s\n", Escape(value.name).c_str(), veltra::RegistryTypeName(value.type),
                Shown(value, true).c_str());
  return kSuccess;
}

int Get(RegistryRoot root, const std::string& path, const std::string& name) {
  Registry key;
  int exitCode = kSuccess;
  if (!OpenExisting(key, root, path, exitCode)) return exitCode;
  RegistryValue value;
  RegistryStatus status = key.Query(name, value);
  if (status != RegistryStatus::Ok) return StoreFailure(path + " " + name, status);
  std::printf("%s\n", Shown(value, false).c_str());
  return kSuccess;
}

int Set(RegistryRoot root, const std::string& path, const std::string& name, const std::string& type,
        const std::string& text) {
  RegistryValue value;
  if (type == "dword") {
    uint32_t number = 0;
    if (!ParseDword(text, number)) return Usage("not a 32-bit number: " + text);
    value = RegistryValue::FromDword(name, number);
  } else if (type == "string") {
    value = RegistryValue::FromString(name, text);
  } else if (type == "binary") {
    std::vector<unsigned char> bytes;
    if (!ParseHex(text, bytes)) return Usage("not hex digit pairs: " + text);
    value = RegistryValue::FromBinary(name, bytes.data(), bytes.size());
  } else {
    return Usage("unknown type " + type + " (dword, string or binary)");
  }
  if (Registry::NormalisePath(path).empty()) return Usage("values are kept under a key, not in the root");
  Registry key(root, path);
  RegistryStatus status = key.Write(value);
  if (status != RegistryStatus::Ok) return StoreFailure(path + " " + name, status);
  return kSuccess;
}

int Delete(RegistryRoot root, const std::string& path, const std::string* name) {
  if (!name) {
    if (Registry::NormalisePath(path).empty()) return Usage("the root cannot be deleted");
    RegistryStatus status = Registry::DeleteKey(root, path);
    return status == RegistryStatus::Ok ? kSuccess : StoreFailure(path, status);
  }
  Registry key;
  int exitCode = kSuccess;
  if (!OpenExisting(key, root, path, exitCode)) return exitCode;
  RegistryStatus status = key.DeleteValue(*name);
  return status == RegistryStatus::Ok ? kSuccess : StoreFailure(path + " " + *name, status);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  bool machine = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    // After "set KEY NAME TYPE" every word is the value, whatever it looks
    // like ("--help", "--machine", a negative dword); only "--" still ends
    // the options there.
    if (words.size() >= 4 && words[0] == "set") {
      if (!optionsEnded && word == "--")
        optionsEnded = true;
      else
        words.push_back(word);
      continue;
    }
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && word == "--machine") {
      machine = true;
    } else if (!optionsEnded && (word == "--help" || word == "-h")) {
      std::fputs(kUsageText, stdout);
      return kSuccess;
    } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
      return Usage("unknown option " + word);
    } else {
      words.push_back(word);
    }
  }
  if (words.empty()) return Usage("no command");
  const std::string command = words[0];
  const size_t count = words.size() - 1;
  const RegistryRoot root = machine ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;

  if (command == "list" && count <= 1) return List(root, count == 1 ? words[1] : std::string());
  if (command == "get" && count == 2) return Get(root, words[1], words[2]);
  if (command == "set" && count == 4) return Set(root, words[1], words[2], words[3], words[4]);
  if (command == "delete" && (count == 1 || count == 2))
    return Delete(root, words[1], count == 2 ? &words[2] : nullptr);
  if (command == "where" && count == 0 && !machine) {
    std::printf("user\t%s\nmachine\t%s\n", Registry::DatabasePath(RegistryRoot::CurrentUser).c_str(),
                Registry::DatabasePath(RegistryRoot::LocalMachine).c_str());
    return kSuccess;
  }
  if (command == "list" || command == "get" || command == "set" || command == "delete" || command == "where")
    return Usage("wrong arguments for " + command);
  return Usage("unknown command " + command);
}
