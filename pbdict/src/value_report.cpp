#include "value_report.h"

#include <cctype>
#include <cstdio>

#include "ul_log.h"

namespace kavo {
namespace pbdict {

namespace {

constexpr std::string_view kStart = "Invalid value `";
constexpr std::string_view kNext = ", Invalid value `";
constexpr std::string_view kField = "' for optional field `";
constexpr std::string_view kType = "' which SHOULD be ";

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.'; }

// The start of the run of name characters (letters, digits, '_' and '.')
// that ends at end; end itself when there is none.
size_t NameStart(std::string_view m, size_t end) {
  while (end > 0 && IsNameChar(m[end - 1])) --end;
  return end;
}

// Whether word ends exactly at end in m.
bool EndsAt(std::string_view m, size_t end, std::string_view word) {
  return end >= word.size() && m.substr(end - word.size(), word.size()) == word;
}

// True when m is one whole message; *field is then its field's full name.
// The type word and the name are read backwards from the end (the rendering
// before them may hold anything), each scan stopping at the first byte that
// is not a name's: a message costs the length of its names, not of its text.
bool ParseMessage(std::string_view m, std::string_view* field) {
  if (m.substr(0, kStart.size()) != kStart) return false;
  const size_t type = NameStart(m, m.size());
  if (type == m.size() || !EndsAt(m, type, kType)) return false;
  const size_t name_end = type - kType.size();
  const size_t name = NameStart(m, name_end);
  if (name == name_end || !EndsAt(m, name, kField)) return false;
  *field = m.substr(name, name_end - name);
  return true;
}

// Writes the message into out (a log line's worth: UL_LOG_BUFF_SIZE bytes,
// and up to 3 past them and a NUL), its control bytes escaped as \xHH. No
// allocation: the lines are taken where memory running out cannot be
// reported.
void Printable(std::string_view m, char (&out)[UL_LOG_BUFF_SIZE + 4]) {
  size_t n = 0;
  for (char c : m) {
    if (n >= UL_LOG_BUFF_SIZE) break;
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      std::snprintf(out + n, 5, "\\x%02x", u);
      n += 4;
    } else {
      out[n++] = c;
    }
  }
  out[n] = '\0';
}

void LogOne(const char* path, int lineno, std::string_view m) {
  std::string_view field;
  char text[UL_LOG_BUFF_SIZE + 4];
  Printable(m, text);
  if (ParseMessage(m, &field)) {
    ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: optional field `%.*s' passed over: %s", path,
                lineno, static_cast<int>(field.size()), field.data(), text);
  } else {
    ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: value passed over: %s", path, lineno, text);
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
