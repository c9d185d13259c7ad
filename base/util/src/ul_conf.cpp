// Configuration tables: the line reader with "$include", the writer, and the
// typed getters, modifiers and adders.
#include "ul_conf.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_conf_internal.h"
#include "ul_error.h"
#include "ul_func.h"
#include "ul_log.h"
#include "ul_string.h"

namespace {

constexpr int kLineSize = 4095;     // fgets buffer: longer lines come in pieces
constexpr size_t kDirPathSize = 4096;
constexpr size_t kIncludePathSize = 512;

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

enum class LineKind { kSkip, kItem, kError, kNameTooLong };

struct ParsedLine {
  const char* name = nullptr;
  size_t name_len = 0;
  const char* value = nullptr;
  size_t value_len = 0;
};

// Parses one line (NUL-terminated, at most kLineSize - 1 bytes).
LineKind ParseLine(const char* line, ParsedLine* out) {
  if (line[0] == '#' || line[0] == '\0') return LineKind::kSkip;
  const char* p = line;
  while (IsBlank(*p)) ++p;
  if (IsLineEnd(*p) || *p == '\0') return LineKind::kSkip;
  if (*p == ':') return LineKind::kError;

  const char* name = p;
  while (*p != '\0' && !IsBlank(*p) && *p != ':' && !IsLineEnd(*p)) ++p;
  size_t name_len = static_cast<size_t>(p - name);
  if (name_len >= UL_CONF_WORD_SIZE) return LineKind::kNameTooLong;
  if (*p == '\0' || IsLineEnd(*p)) return LineKind::kError;  // a name without value

  bool colon = false;
  for (;; ++p) {
    if (IsBlank(*p)) continue;
    if (*p == ':' && !colon) {
      colon = true;
      continue;
    }
    break;  // a second ':' begins the value
  }
  if (!colon) return LineKind::kError;
  if (*p == '\0') return LineKind::kError;  // the line ended right after the ':'
  const char* value = p;
  const char* end = value;
  // The value runs to the last byte that is not blank or a line end.
  for (const char* q = value; *q != '\0'; ++q) {
    if (!IsBlank(*q) && !IsLineEnd(*q)) end = q + 1;
  }
  size_t value_len = static_cast<size_t>(end - value);
  if (value_len >= UL_CONF_WORD_SIZE) return LineKind::kError;
  out->name = name;
  out->name_len = name_len;
  out->value = value;
  out->value_len = value_len;
  return LineKind::kItem;
}

const Ul_confitem* Find(const Ul_confdata* conf, const char* name) {
  for (int i = 0; i < conf->num && i < conf->size; ++i) {
    if (strcmp(conf->item[i].name, name) == 0) return &conf->item[i];
  }
  return nullptr;
}

Ul_confitem* Find(Ul_confdata* conf, const char* name) {
  return const_cast<Ul_confitem*>(Find(static_cast<const Ul_confdata*>(conf), name));
}

// Reads the number at the start of text in the given base, as sscanf's
// %d/%u/%x/%o would (leading blanks, a sign, digits, anything after them
// ignored), into T: 1 read, 0 no number there, -1 a number out of T's range
// (which sscanf would have wrapped).
template <typename T>
int ParseNumber(const char* text, int base, T* out) {
  const char* p = text;
  while (isspace(static_cast<unsigned char>(*p))) ++p;
  char* end = nullptr;
  errno = 0;
  if constexpr (std::is_signed<T>::value) {
    const long long v = strtoll(p, &end, base);
    if (end == p) return 0;
    if (errno == ERANGE || v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) {
      return -1;
    }
    *out = static_cast<T>(v);
  } else {
    const unsigned long long v = strtoull(p, &end, base);
    if (end == p) return 0;
    // A leading minus negates the magnitude modulo 2^N, as the unsigned
    // conversions of sscanf do: "-1" is T's largest value (files use it for
    // "no limit"). The magnitude itself must fit T.
    const unsigned long long magnitude = *p == '-' ? 0 - v : v;
    if (errno == ERANGE || magnitude > std::numeric_limits<T>::max()) return -1;
    *out = static_cast<T>(v);
  }
  return 1;
}

// Reads the value of name as a number: exactly "0" is 0, "0x..." is
// hexadecimal, any other leading '0' octal, else decimal. T is the decimal
// type, U its unsigned twin for the hexadecimal and octal forms (which give
// T the bits of U). A number out of range is an error (logged), never a
// wrapped value; only a minus before an unsigned conversion negates.
template <typename T, typename U>
int GetNumber(const Ul_confdata* conf, const char* name, T* value) {
  if (conf == nullptr || name == nullptr || value == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return 0;
  }
  char buf[UL_CONF_WORD_SIZE];
  if (ul_getconfnstr(conf, name, buf, sizeof(buf)) != 1) return 0;
  if (strcmp(buf, "0") == 0) {
    *value = 0;
    return 1;
  }
  int rc;
  T v{};
  if (buf[0] == '0') {
    U u{};
    rc = buf[1] == 'x' ? ParseNumber(buf + 2, 16, &u) : ParseNumber(buf + 1, 8, &u);
    v = static_cast<T>(u);
  } else {
    rc = ParseNumber(buf, 10, &v);
  }
  if (rc < 0) {
    ul_writelog(UL_LOG_WARNING, "[getconf] the value (%s) of (%s) is out of range", buf, name);
    ul_seterrno(UL_INVPARAM);
  }
  if (rc != 1) return 0;
  *value = v;
  return 1;
}

// Appends an item after the adders' checks; value is already printed.
int AddItem(Ul_confdata* conf, const char* name, const char* value) {
  if (conf == nullptr || name == nullptr || value == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return -4;
  }
  if (strlen(name) >= UL_CONF_WORD_SIZE) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  if (conf->num >= conf->size) {
    ul_seterrno(UL_DETAILERR);
    ul_seterrbuf("%s", "can't add any more");
    return -2;
  }
  if (Find(conf, name) != nullptr) return 0;
  if (strlen(value) >= UL_CONF_WORD_SIZE) {
    ul_seterrno(UL_INVPARAM);
    return -3;
  }
  Ul_confitem* item = &conf->item[conf->num];
  ul_strlcpy(item->name, name, sizeof(item->name));
  ul_strlcpy(item->value, value, sizeof(item->value));
  ++conf->num;
  return 1;
}

int ModifyItem(Ul_confdata* conf, const char* name, const char* value) {
  Ul_confitem* item = Find(conf, name);
  if (item == nullptr) return 0;
  ul_strlcpy(item->value, value, sizeof(item->value));
  return 1;
}

}  // namespace

Ul_confdata* ul_initconf(int size) {
  if (size < UL_CONF_MIN_SIZE) size = UL_CONF_MIN_SIZE;
  Ul_confdata* conf = static_cast<Ul_confdata*>(calloc(1, sizeof(Ul_confdata)));
  if (conf == nullptr) {
    ul_seterrno(UL_ALLOCERR);
    return nullptr;
  }
  conf->item = static_cast<Ul_confitem*>(calloc(static_cast<size_t>(size), sizeof(Ul_confitem)));
  if (conf->item == nullptr) {
    free(conf);
    ul_seterrno(UL_ALLOCERR);
    return nullptr;
  }
  conf->size = size;
  conf->num = 0;
  return conf;
}

int ul_freeconf(Ul_confdata* conf) {
  if (conf != nullptr) {
    free(conf->item);
    free(conf);
  }
  return 1;
}

namespace ul_conf_internal {

ReadResult ReadItems(const char* path, int room, ItemSink* sink) {
  struct stat st;
  if (ul_stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
    ul_writelog(UL_LOG_FATAL, "[readconf] file (%s) not found or not linked to a regular file",
                path);
    return kReadNotFound;
  }
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(path, ul_open);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_FATAL, "[readconf] can't open file (%s)", path);
    return kReadNotFound;
  }
  char line[kLineSize];
  int lineno = 0;
  int handed = 0;
  while (fgets(line, sizeof(line), fp.get()) != nullptr) {
    ++lineno;
    // A line longer than the buffer: its rest is read and dropped, never
    // taken as a line of its own. Blanks there change nothing; anything else
    // means an item's value was cut, and the line is an error.
    const size_t len = strlen(line);
    bool cut = false;
    if (len == sizeof(line) - 1 && line[len - 1] != '\n') {
      int c;
      while ((c = getc(fp.get())) != EOF && c != '\n') {
        if (!IsBlank(static_cast<char>(c)) && c != '\r') cut = true;
      }
    }
    ParsedLine parsed;
    LineKind kind = ParseLine(line, &parsed);
    if (cut && kind == LineKind::kItem) kind = LineKind::kError;
    switch (kind) {
      case LineKind::kSkip:
        break;
      case LineKind::kError:
        ul_writelog(UL_LOG_FATAL, "[readconf] line (%d) in conf file (%s) error", lineno, path);
        break;
      case LineKind::kNameTooLong:
        return kReadStopped;
      case LineKind::kItem:
        // "Full" is tested only when an item is about to be stored, so a
        // trailing comment after the last item that fits is no overflow.
        if (handed >= room) return kReadStopped;
        ++handed;
        sink->Add(std::string_view(parsed.name, parsed.name_len),
                  std::string_view(parsed.value, parsed.value_len));
        break;
    }
  }
  return kReadOk;
}

}  // namespace ul_conf_internal

namespace {

// Stores items into a table from a given index on.
class TableSink : public ul_conf_internal::ItemSink {
 public:
  TableSink(Ul_confdata* conf, int start) : conf_(conf), next_(start) {}
  void Add(std::string_view name, std::string_view value) override {
    Ul_confitem* item = &conf_->item[next_++];
    memcpy(item->name, name.data(), name.size());
    item->name[name.size()] = '\0';
    memcpy(item->value, value.data(), value.size());
    item->value[value.size()] = '\0';
  }
  int next() const { return next_; }

 private:
  Ul_confdata* conf_;
  int next_;
};

}  // namespace

int readconf_no_dir(const char* path, Ul_confdata* conf, int start) {
  if (path == nullptr || conf == nullptr || conf->item == nullptr || start < 0 ||
      start > conf->size) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  TableSink sink(conf, start);
  switch (ul_conf_internal::ReadItems(path, conf->size - start, &sink)) {
    case ul_conf_internal::kReadOk:
      conf->num = sink.next();
      return 1;
    case ul_conf_internal::kReadStopped:
      conf->num = sink.next();  // the items stored are counted, never overwritten later
      return -1;
    case ul_conf_internal::kReadNotFound:
      break;
  }
  return -1;
}

int ul_readconf_no_dir(const char* path, Ul_confdata* conf) {
  return readconf_no_dir(path, conf, 0);
}

int ul_readconf(const char* dir, const char* file, Ul_confdata* conf) {
  if (dir == nullptr || file == nullptr || conf == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  char path[kDirPathSize];
  if (!toolkit::JoinPath(path, dir, file)) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  return readconf_no_dir(path, conf, 0);
}

int ul_readconf_include(const char* dir, Ul_confdata* conf) {
  if (dir == nullptr || conf == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return 1;
  }
  const int present = conf->num;  // files read here are not examined again
  for (int i = 0; i < present && i < conf->size; ++i) {
    const Ul_confitem& item = conf->item[i];
    if (strcasecmp(item.name, "$include") != 0) continue;
    const char* p = item.value;
    while (*p == ' ') ++p;
    if (*p != '"') continue;
    ++p;
    while (*p == ' ') ++p;
    const char* close = strchr(p, '"');
    if (close == nullptr) continue;
    std::string_view name(p, static_cast<size_t>(close - p));
    const bool as_is = name.substr(0, 1) == "/" || name.substr(0, 2) == "~/";
    char path[kIncludePathSize];
    if (!(as_is ? toolkit::Concat(path, sizeof(path), {name})
                : toolkit::JoinPath(path, dir, name))) {
      // Too long for the buffer: refused, and named whole in the message.
      const std::string whole = as_is ? std::string(name) : dir + ("/" + std::string(name));
      ul_writelog(UL_LOG_WARNING, "[readconf] error: can't read conf[%s]", whole.c_str());
    } else if (readconf_no_dir(path, conf, conf->num) != 1) {
      ul_writelog(UL_LOG_WARNING, "[readconf] error: can't read conf[%s]", path);
    }
  }
  return 1;
}

int ul_readconf_ex(const char* dir, const char* file, Ul_confdata* conf) {
  int r = ul_readconf(dir, file, conf);
  if (r != 1) return r;
  return ul_readconf_include(dir, conf);
}

int ul_writeconf(const char* dir, const char* file, Ul_confdata* conf) {
  if (dir == nullptr || file == nullptr || conf == nullptr) {
    ul_writelog(UL_LOG_FATAL, "[writeconf] invalid param");
    return -1;
  }
  if (conf->num > conf->size || conf->num <= 0) {
    ul_writelog(UL_LOG_FATAL, "[writeconf] var's num (%d) size(%d) error", conf->num, conf->size);
    return -1;
  }
  char path[kDirPathSize];
  if (!toolkit::JoinPath(path, dir, file)) {
    // Too long for the buffer: refused, and named whole in the message.
    ul_writelog(UL_LOG_FATAL, "[writeconf] fopen %s/%s fail", dir, file);
    return -1;
  }
  toolkit::UniqueFile fp(fopen(path, "w"));
  if (!fp.ok()) {
    ul_writelog(UL_LOG_FATAL, "[writeconf] fopen %s fail", path);
    return -1;
  }
  for (int i = 0; i < conf->num; ++i) {
    const Ul_confitem& item = conf->item[i];
    char first[UL_CONF_WORD_SIZE], second[UL_CONF_WORD_SIZE];
    if (sscanf(item.name, "%2047s %2047s", first, second) != 1) {
      ul_writelog(UL_LOG_FATAL, "[writeconf] var's name (%s) error", item.name);
      continue;
    }
    fprintf(fp.get(), "%s : %s\n", item.name, item.value);
  }
  // A write that did not reach the file (full disk) is a failure, not success.
  const bool failed = ferror(fp.get()) != 0;
  if (!fp.Close() || failed) {
    ul_seterrno(UL_WRITEERR);
    return -1;
  }
  return 1;
}

int ul_getconfnstr(const Ul_confdata* conf, const char* name, char* buf, size_t size) {
  if (conf == nullptr || name == nullptr || buf == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return 0;
  }
  if (size > 0) buf[0] = '\0';  // nothing is written into a zero-size buffer
  const Ul_confitem* item = Find(conf, name);
  if (item == nullptr) return 0;
  ul_strlcpy(buf, item->value, size);
  return 1;
}

int ul_getconfint(const Ul_confdata* conf, const char* name, int* value) {
  return GetNumber<int, unsigned int>(conf, name, value);
}

int ul_getconfuint(const Ul_confdata* conf, const char* name, unsigned int* value) {
  return GetNumber<unsigned int, unsigned int>(conf, name, value);
}

int ul_getconfint64(const Ul_confdata* conf, const char* name, long long* value) {
  return GetNumber<long long, unsigned long long>(conf, name, value);
}

int ul_getconfuint64(const Ul_confdata* conf, const char* name, unsigned long long* value) {
  return GetNumber<unsigned long long, unsigned long long>(conf, name, value);
}

int ul_getconffloat(const Ul_confdata* conf, const char* name, float* value) {
  if (conf == nullptr || name == nullptr || value == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return 0;
  }
  char buf[UL_CONF_WORD_SIZE];
  if (ul_getconfnstr(conf, name, buf, sizeof(buf)) != 1) return 0;
  *value = static_cast<float>(atof(buf));
  return 1;
}

// The non-const overloads behave exactly as the const ones.
int ul_getconfnstr(Ul_confdata* conf, const char* name, char* buf, size_t size) {
  return ul_getconfnstr(static_cast<const Ul_confdata*>(conf), name, buf, size);
}
int ul_getconfint(Ul_confdata* conf, const char* name, int* value) {
  return ul_getconfint(static_cast<const Ul_confdata*>(conf), name, value);
}
int ul_getconfuint(Ul_confdata* conf, const char* name, unsigned int* value) {
  return ul_getconfuint(static_cast<const Ul_confdata*>(conf), name, value);
}
int ul_getconfint64(Ul_confdata* conf, const char* name, long long* value) {
  return ul_getconfint64(static_cast<const Ul_confdata*>(conf), name, value);
}
int ul_getconfuint64(Ul_confdata* conf, const char* name, unsigned long long* value) {
  return ul_getconfuint64(static_cast<const Ul_confdata*>(conf), name, value);
}
int ul_getconffloat(Ul_confdata* conf, const char* name, float* value) {
  return ul_getconffloat(static_cast<const Ul_confdata*>(conf), name, value);
}

int ul_modifyconfstr(Ul_confdata* conf, const char* name, const char* value) {
  if (conf == nullptr || name == nullptr || value == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  if (strlen(value) >= UL_CONF_WORD_SIZE) {
    ul_seterrno(UL_INVPARAM);
    return -3;
  }
  return ModifyItem(conf, name, value);
}

namespace {

// The typed modifiers and adders print the value, then act as the string forms.
template <typename T>
int ModifyNumber(Ul_confdata* conf, const char* name, T value) {
  if (conf == nullptr || name == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return 0;
  }
  return ModifyItem(conf, name, ul_conf_internal::NumberText(value).c_str());
}

template <typename T>
int AddNumber(Ul_confdata* conf, const char* name, T value) {
  return AddItem(conf, name, ul_conf_internal::NumberText(value).c_str());
}

}  // namespace

int ul_modifyconfint(Ul_confdata* conf, const char* name, int value) {
  return ModifyNumber(conf, name, value);
}
int ul_modifyconfuint(Ul_confdata* conf, const char* name, unsigned int value) {
  return ModifyNumber(conf, name, value);
}
int ul_modifyconfint64(Ul_confdata* conf, const char* name, long long value) {
  return ModifyNumber(conf, name, value);
}
int ul_modifyconfuint64(Ul_confdata* conf, const char* name, unsigned long long value) {
  return ModifyNumber(conf, name, value);
}
int ul_modifyconffloat(Ul_confdata* conf, const char* name, float value) {
  return ModifyNumber(conf, name, value);
}

int ul_addconfint(Ul_confdata* conf, const char* name, int value) {
  return AddNumber(conf, name, value);
}
int ul_addconfuint(Ul_confdata* conf, const char* name, unsigned int value) {
  return AddNumber(conf, name, value);
}
int ul_addconfint64(Ul_confdata* conf, const char* name, long long value) {
  return AddNumber(conf, name, value);
}
int ul_addconfuint64(Ul_confdata* conf, const char* name, unsigned long long value) {
  return AddNumber(conf, name, value);
}
int ul_addconffloat(Ul_confdata* conf, const char* name, float value) {
  return AddNumber(conf, name, value);
}

int ul_addconfstr(Ul_confdata* conf, const char* name, const char* value) {
  return AddItem(conf, name, value);
}
