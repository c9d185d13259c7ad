// White-URL lists.
#include "ul_whiteurl.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_ccode_type.h"
#include "ul_func.h"
#include "ul_log.h"
#include "ul_sign.h"
#include "ul_url.h"

Sdict_build* whiteUrl_dict = nullptr;
Sdict_build* i18n_whiteUrl_dict = nullptr;

namespace {

constexpr int kLineSize = 3072;      // ccode_max_url_len: lines of at most 3,071 bytes
constexpr size_t kNameChars = 31;    // code and language names
constexpr size_t kNormalSize = 1025; // normal form of a URL
constexpr size_t kSiteSize = 129;
constexpr int kBuckets = 10000;

// The payload of a node's other word: the code type as 16 bits, the language
// and a third byte (the secondary language, or 0xFF) as 8 bits each.
u_int Pack(int code, int lang, int third) {
  return static_cast<uint16_t>(code) | static_cast<u_int>(static_cast<uint8_t>(lang)) << 16 |
         static_cast<u_int>(static_cast<uint8_t>(third)) << 24;
}
int Code(u_int other) { return static_cast<int16_t>(other & 0xFFFF); }
int Lang(u_int other) { return static_cast<int8_t>((other >> 16) & 0xFF); }
int Third(u_int other) { return static_cast<int8_t>(other >> 24); }

// The fields of one list line, read the way "%s code=%s lang=%s" reads them:
// each field is the run of non-blank bytes after any blanks, and each key
// word must follow the field before it after any blanks.
class LineFields {
 public:
  explicit LineFields(std::string_view line) : rest_(line) {}

  // The next field; false at the end of the line.
  bool Field(std::string_view* out) {
    SkipBlanks();
    size_t n = 0;
    while (n < rest_.size() && !Blank(rest_[n])) ++n;
    if (n == 0) return false;
    *out = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return true;
  }
  // The next field after the key word key; false when the key word is not
  // next or no field follows it.
  bool Keyed(std::string_view key, std::string_view* out) {
    SkipBlanks();
    if (rest_.substr(0, key.size()) != key) return false;
    rest_.remove_prefix(key.size());
    return Field(out);
  }

 private:
  static bool Blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
  void SkipBlanks() {
    while (!rest_.empty() && Blank(rest_.front())) rest_.remove_prefix(1);
  }
  std::string_view rest_;
};

// Opens path/file of a list: NULL (logged) when it is missing or unreadable.
toolkit::UniqueFile OpenList(const char* path, const char* file) {
  char name[4096];
  struct stat st;
  if (path == nullptr || file == nullptr || !toolkit::JoinPath(name, path, file) || stat(name, &st) != 0 ||
      !S_ISREG(st.st_mode)) {
    ul_writelog(UL_LOG_NOTICE, "file %s/%s is not exist", path == nullptr ? "" : path, file == nullptr ? "" : file);
    return toolkit::UniqueFile();
  }
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(name, ul_open, ul_fclose);
  if (!fp.ok()) ul_writelog(UL_LOG_WARNING, "open %s error", name);
  return fp;
}

// Reads the next line (its line end cut) into buf; an over-long line is
// skipped whole (logged) and reported as an empty line. False at the end of
// the file.
bool NextLine(FILE* fp, char (&buf)[kLineSize], std::string_view* line, const char* file) {
  if (ul_fgets(buf, kLineSize, fp) == nullptr) return false;
  size_t len = strlen(buf);
  if (len == kLineSize - 1 && buf[len - 1] != '\n') {
    int c = getc(fp);
    if (c != EOF && c != '\n') {
      while (c != EOF && c != '\n') c = getc(fp);
      ul_writelog(UL_LOG_WARNING, "line longer than %d bytes in %s skipped", kLineSize - 1, file);
      *line = std::string_view(buf, 0);
      return true;
    }
  }
  *line = std::string_view(buf, len);
  return true;
}

bool Skipped(std::string_view url) { return url.empty() || url.front() == '#'; }

// A name field of at most kNameChars characters, as text; false (logged) for
// a longer one.
bool NameField(std::string_view url, std::string_view field, const char* what, std::string* out) {
  if (field.size() > kNameChars) {
    ul_writelog(UL_LOG_WARNING, "[url=%.*s]%s of more than %zu characters", static_cast<int>(url.size()), url.data(),
                what, kNameChars);
    return false;
  }
  out->assign(field);
  return true;
}

// The code type of a name, or -2 (logged) when it is refused: a name that
// gives -1 must be a leading part of "NONE".
int CodeOf(const std::string& url, const std::string& name) {
  const int code = ul_getcodetype(name.c_str());
  if (code == -1 && strncmp(name.c_str(), "NONE", name.size()) != 0) {
    ul_writelog(UL_LOG_WARNING, "[url=%s]codetype=%s is error", url.c_str(), name.c_str());
    return -2;
  }
  return code;
}

// The language of a name, or -2 (logged with what) when it is refused.
int LangOf(const std::string& url, const std::string& name, const char* what) {
  const int lang = ul_getlangtype(name.c_str());
  if (lang < -1) {
    ul_writelog(UL_LOG_WARNING, "[url=%s]%s=%s is error", url.c_str(), what, name.c_str());
    return -2;
  }
  return lang;
}

// Enters key with payload unless it is there already (the first line wins).
void Enter(Sdict_build* dict, std::string_view key, u_int payload) {
  Sdict_snode node = {};
  creat_sign_fs64(key.data(), static_cast<int>(key.size()), &node.sign1, &node.sign2);
  if (db_op1(dict, &node, SEEK) == 1) return;
  node.code = 0;
  node.other = payload;
  if (db_op1(dict, &node, ADD) != 1) return;
  // ADD may rewrite other: MOD stores the payload as given.
  node.code = 0;
  node.other = payload;
  db_op1(dict, &node, MOD);
}

// Looks key up: true with the payload when present.
bool Seek(Sdict_build* dict, std::string_view key, u_int* payload) {
  Sdict_snode node = {};
  creat_sign_fs64(key.data(), static_cast<int>(key.size()), &node.sign1, &node.sign2);
  if (db_op1(dict, &node, SEEK) != 1) return false;
  *payload = node.other;
  return true;
}

// The key of a URL in the i18n list: its normal form in buf, or the URL.
std::string_view NormalKey(const char* url, char (&buf)[kNormalSize]) {
  if (ul_normalize_url_ex(url, buf, sizeof(buf)) == 1) return buf;
  return url;
}

// One parsed line of either list; a field that is absent stays empty.
struct Entry {
  std::string url, code, lang, seclang;
};

// Reads every line of fp into dict with parse (which returns false for a
// line to skip) and enter. False when no line had content.
template <typename Parse>
bool ReadList(FILE* fp, const char* file, Parse parse) {
  char buf[kLineSize];
  std::string_view line;
  bool content = false;
  while (NextLine(fp, buf, &line, file)) {
    if (buf[0] != '\0') content = true;
    parse(line);
  }
  return content;
}

Sdict_build* Finish(Sdict_build* dict, toolkit::UniqueFile* fp, bool content) {
  fp->Close();
  if (content) return dict;
  db_del(dict);
  return nullptr;
}

}  // namespace

Sdict_build* ul_whiteUrl_load(const char* path, const char* file) {
  Sdict_build* dict = db_creat(kBuckets, 0);
  if (dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "db_creat fail");
    return nullptr;
  }
  toolkit::UniqueFile fp = OpenList(path, file);
  if (!fp.ok()) {
    db_del(dict);
    return nullptr;
  }
  const bool content = ReadList(fp.get(), file, [dict](std::string_view line) {
    LineFields f(line);
    std::string_view url, code, lang;
    if (!f.Field(&url) || Skipped(url)) return;
    Entry e{std::string(url), "", "", ""};
    if (!f.Keyed("code=", &code) || !f.Keyed("lang=", &lang)) {
      ul_writelog(UL_LOG_WARNING, "[url=%s]line without code= or lang=", e.url.c_str());
      return;
    }
    if (!NameField(url, code, "codetype", &e.code) || !NameField(url, lang, "langtype", &e.lang)) return;
    const int c = CodeOf(e.url, e.code);
    const int l = c < -1 ? -2 : LangOf(e.url, e.lang, "langtype");
    if (l < -1) return;
    Enter(dict, e.url, Pack(c, l, -1));
  });
  return Finish(dict, &fp, content);
}

Sdict_build* ul_i18n_whiteUrl_load(const char* path, const char* file) {
  toolkit::UniqueFile fp = OpenList(path, file);
  if (!fp.ok()) return nullptr;
  Sdict_build* dict = db_creat(kBuckets, 0);
  if (dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "db_creat fail");
    return nullptr;
  }
  const bool content = ReadList(fp.get(), file, [dict](std::string_view line) {
    LineFields f(line);
    std::string_view url, code, lang, seclang;
    if (!f.Field(&url) || Skipped(url)) return;
    // Fields left out stay empty: "%s code=%s mainlang=%s seclang=%s" stops
    // at the first one missing.
    Entry e{std::string(url), "", "", ""};
    if (f.Keyed("code=", &code) && f.Keyed("mainlang=", &lang)) f.Keyed("seclang=", &seclang);
    if (!NameField(url, code, "codetype", &e.code) || !NameField(url, lang, "langtype", &e.lang) ||
        !NameField(url, seclang, "seclang", &e.seclang)) {
      return;
    }
    const int c = CodeOf(e.url, e.code);
    if (c < -1) return;
    const int main = LangOf(e.url, e.lang, "langtype");
    if (main < -1) return;
    const int sec = e.seclang.empty() ? -1 : LangOf(e.url, e.seclang, "seclang");
    if (sec < -1) return;
    char normal[kNormalSize];
    Enter(dict, NormalKey(e.url.c_str(), normal), Pack(c, main, sec));
  });
  return Finish(dict, &fp, content);
}

int ccode_is_whiteUrl(const char* url, int* code, int* lang) {
  u_int payload;
  if (url == nullptr || code == nullptr || lang == nullptr || whiteUrl_dict == nullptr ||
      !Seek(whiteUrl_dict, url, &payload)) {
    return 0;
  }
  *code = Code(payload);
  *lang = Lang(payload);
  return 1;
}

int ccode_is_i18n_whiteUrl(const char* url, int* code, int* mainlang, int* seclang) {
  if (url == nullptr || code == nullptr || mainlang == nullptr || seclang == nullptr ||
      i18n_whiteUrl_dict == nullptr) {
    return 0;
  }
  char normal[kNormalSize];
  const std::string_view key = NormalKey(url, normal);
  u_int payload;
  bool found = Seek(i18n_whiteUrl_dict, key, &payload);
  if (!found) {
    // The site of the URL looked up (its normal form or itself); a URL
    // without one is not listed.
    const std::string used(key);
    char site[kSiteSize];
    char site_normal[kNormalSize];
    if (ul_get_site_ex(used.c_str(), site, sizeof(site)) == nullptr) return 0;
    found = Seek(i18n_whiteUrl_dict, NormalKey(site, site_normal), &payload);
  }
  if (!found) return 0;
  *code = Code(payload);
  *mainlang = Lang(payload);
  *seclang = Third(payload);
  return 1;
}
