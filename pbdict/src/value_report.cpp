#include "value_report.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "ul_log.h"

namespace kavo {
namespace pbdict {

namespace {

constexpr std::string_view kStart = "Invalid value `";
constexpr std::string_view kNext = ", Invalid value `";
constexpr std::string_view kField = "' for optional field `";
constexpr std::string_view kType = "' which SHOULD be ";

// A full name or a type word: letters, digits, '_' and '.'.
bool IsName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_' && c != '.') return false;
  }
  return true;
}

// True when m is one whole message; *field is then its field's full name.
// The name and the type word are read from the end: the rendering before
// them may hold anything.
bool ParseMessage(std::string_view m, std::string_view* field) {
  if (m.substr(0, kStart.size()) != kStart) return false;
  const size_t type = m.rfind(kType);
  if (type == std::string_view::npos || !IsName(m.substr(type + kType.size()))) return false;
  const size_t name = m.rfind(kField, type);
  if (name == std::string_view::npos) return false;
  *field = m.substr(name + kField.size(), type - name - kField.size());
  return IsName(*field);
}

// The message with its control bytes escaped, cut where a log line ends.
std::string Printable(std::string_view m) {
  std::string out;
  out.reserve(m.size() < UL_LOG_BUFF_SIZE ? m.size() : UL_LOG_BUFF_SIZE);
  for (char c : m) {
    if (out.size() >= UL_LOG_BUFF_SIZE) break;
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof(hex), "\\x%02x", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

void LogOne(const char* path, int lineno, std::string_view m) {
  std::string_view field;
  const std::string text = Printable(m);
  if (ParseMessage(m, &field)) {
    ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: optional field `%.*s' passed over: %s", path,
                lineno, static_cast<int>(field.size()), field.data(), text.c_str());
  } else {
    ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: value passed over: %s", path, lineno,
                text.c_str());
  }
}

}  // namespace

void LogPassedOver(const char* path, int lineno, std::string_view report) {
  // A message ends where ", Invalid value `" follows a whole message.
  size_t start = 0;
  size_t next = report.find(kNext);
  std::string_view field;
  while (next != std::string_view::npos) {
    if (ParseMessage(report.substr(start, next - start), &field)) {
      LogOne(path, lineno, report.substr(start, next - start));
      start = next + 2;
    }
    next = report.find(kNext, next + 1);
  }
  if (start < report.size()) LogOne(path, lineno, report.substr(start));
}

}  // namespace pbdict
}  // namespace kavo
