// Declared charsets and charset names.
#include "ul_ccode_charset.h"

#include <string.h>

#include <string_view>

#include "ul_ccode_confidence.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

namespace {

constexpr int kChunkChars = 2044;     // kept characters of one chunk
constexpr size_t kKeyStep = 7;        // the value is looked for 7 past the key
constexpr size_t kEqualsReach = 12;   // '=' at most 12 past that
constexpr size_t kValueReach = 14;    // the value's start at most 14 past it
constexpr size_t kValueChars = 20;    // longest value taken

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool LowerLetter(char c) { return c >= 'a' && c <= 'z'; }
inline bool Alnum(char c) { return LowerLetter(Lower(c)) || (c >= '0' && c <= '9'); }

// Copies bytes from *cursor into chunk until the page ends or kChunkChars
// are kept, dropping bytes 0x20 and below and lowering letters.
std::string_view TakeChunk(const char** cursor, char* chunk) {
  int kept = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(*cursor);
  while (*p != 0 && kept < kChunkChars) {
    const unsigned char c = *p++;
    if (c > 0x20) chunk[kept++] = Lower(static_cast<char>(c));
  }
  *cursor = reinterpret_cast<const char*>(p);
  return std::string_view(chunk, static_cast<size_t>(kept));
}

bool XmlMode(std::string_view chunk) {
  const size_t lt = chunk.find('<');
  if (lt == std::string_view::npos) return false;
  const std::string_view tag = chunk.substr(lt);
  return tag.substr(0, 4) == "<rss" || tag.substr(0, 5) == "<?xml";
}

// The value declared after the key at key_start, or an empty view.
std::string_view ValueAfter(std::string_view chunk, size_t key_start) {
  const size_t v = key_start + kKeyStep;
  const size_t eq = chunk.find('=', v);
  if (eq == std::string_view::npos || eq > v + kEqualsReach) return {};
  size_t start = eq;
  while (start < chunk.size() && start < v + kValueReach && !Alnum(chunk[start])) ++start;
  if (start >= chunk.size() || !Alnum(chunk[start])) return {};
  size_t end = start;
  while (end < chunk.size() && end - start < kValueChars && chunk[end] != '"' && chunk[end] != ' ' &&
         chunk[end] != '>') {
    ++end;
  }
  return chunk.substr(start, end - start);
}

// Searches one chunk for the key; true (buffer filled) when a value fits.
bool SearchChunk(std::string_view chunk, std::string_view key, char* buffer, int buffersize) {
  size_t pos = 0;
  for (;;) {
    const size_t at = chunk.find(key, pos);
    if (at == std::string_view::npos) return false;
    // Part of a longer word ("xcharset"), or inside a document.write call
    // that is not closed in this chunk: not a declaration of this page.
    if (at > 0 && LowerLetter(chunk[at - 1])) {
      pos = at + kKeyStep;
      continue;
    }
    const size_t call = chunk.substr(0, at).rfind("document.write");
    if (call != std::string_view::npos && chunk.find(')', call + 14) == std::string_view::npos) {
      pos = at + kKeyStep;
      continue;
    }
    pos = at + kKeyStep;
    const std::string_view value = ValueAfter(chunk, at);
    if (value.empty() || value.size() + 1 > static_cast<size_t>(buffersize)) continue;
    memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return true;
  }
}

bool Has(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

}  // namespace

void find_charset(const char* page, char* buffer, int buffersize) {
  if (buffer == nullptr || buffersize < 1) return;
  buffer[0] = '\0';
  if (page == nullptr) return;
  const char* cursor = page;
  char chunk_buf[kChunkChars];
  bool xml = false;
  while (*cursor != '\0') {
    const std::string_view chunk = TakeChunk(&cursor, chunk_buf);
    xml = XmlMode(chunk);
    if (SearchChunk(chunk, xml ? "encoding" : "charset", buffer, buffersize) || xml) break;
  }
  if (buffer[0] == '\0' && xml && buffersize > 5) memcpy(buffer, "utf-8", 6);
}

void charset2codetype(const char* charset, int* charset_codetype, int* charset_confidence) {
  const std::string_view name = charset == nullptr ? std::string_view() : std::string_view(charset);
  int code = CODETYPE_NONE;
  int confidence = kCertain;
  if (Has(name, "gb")) {
    code = CODETYPE_GB;
  } else if (Has(name, "big")) {
    code = CODETYPE_BIG5;
  } else if (Has(name, "iso-8859")) {
    code = CODETYPE_ISO_8859_1;
  } else if (Has(name, "sjis")) {
    code = CODETYPE_SJIS;
  } else if (Has(name, "ujis")) {
    code = CODETYPE_EUCJP;
  } else if (Has(name, "jis")) {
    code = CODETYPE_SJIS;
    if (!Has(name, "shift")) confidence /= 2;
  } else if (Has(name, "euc")) {
    if (Has(name, "kr")) {
      code = CODETYPE_EUCKR;
    } else {
      code = CODETYPE_EUCJP;
      if (!Has(name, "jp") && !Has(name, "jap")) confidence /= 2;
    }
  } else if (Has(name, "iso") && Has(name, "2022") && Has(name, "jp")) {
    code = CODETYPE_JIS;
  } else if (Has(name, "autocht")) {
    code = CODETYPE_BIG5;
  } else if (Has(name, "utf")) {
    code = CODETYPE_UTF8;
  }
  if (charset_codetype != nullptr) *charset_codetype = code;
  if (charset_confidence != nullptr) *charset_confidence = confidence;
}

int ul_ccode_http_charset(const char* http_codetype) {
  if (http_codetype == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s!", "ul_ccode_http_charset");
    return CODETYPE_UNKNOWN;
  }
  // The text is the caller's to rewrite (the interface says so).
  char* text = const_cast<char*>(http_codetype);
  for (char* p = text; *p != '\0'; ++p) *p = *p == '_' ? '-' : Lower(*p);
  static const struct {
    const char* name;
    int code;
  } kNames[] = {
      {"ascii", CODETYPE_ASCII},          {"gb2312", CODETYPE_GB},
      {"gb18030", CODETYPE_GB},           {"big5", CODETYPE_BIG5},
      {"big-5", CODETYPE_BIG5},           {"utf-8", CODETYPE_UTF8},
      {"utf8", CODETYPE_UTF8},            {"shift-jis", CODETYPE_SJIS},
      {"euc-jp", CODETYPE_EUCJP},         {"iso-8859-1", CODETYPE_ISO_8859_1},
      {"euc-kr", CODETYPE_EUCKR},         {"gbk", CODETYPE_GBK},
      {"iso-8859-9", CODETYPE_ISO_8859_9}, {"windows-1254", CODETYPE_WIN1254},
      {"iso-8859-3", CODETYPE_ISO_8859_3}, {"iso-8859-6", CODETYPE_ISO_8859_6},
      {"windows-1256", CODETYPE_WIN1256}, {"iso-8859-11", CODETYPE_ISO_8859_11},
      {"windows-874", CODETYPE_WIN874},   {"tis-620", CODETYPE_TIS620},
      {"tis620", CODETYPE_TIS620},        {"windows-1258", CODETYPE_WIN1258},
      {"windows-1251", CODETYPE_WIN1251}, {"iso-8859-7", CODETYPE_ISO_8859_7},
      {"windows-1255", CODETYPE_WIN1255},
  };
  const char* key = strstr(text, "charset=");
  if (key == nullptr) return CODETYPE_UNKNOWN;
  const std::string_view value(key + 8);
  for (const auto& n : kNames) {
    if (value == n.name) return n.code;
  }
  return CODETYPE_UNKNOWN;
}
