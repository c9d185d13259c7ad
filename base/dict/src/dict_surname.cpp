// Surname table: one byte per GB2312 character (first byte x 256 + second),
// 1 for a surname. A name is three GB2312 characters whose first is a
// surname.
#include <cstdio>
#include <cstring>

#include "dict_gb.h"
#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_dict.h"
#include "ul_func.h"
#include "ul_log.h"

namespace {

constexpr size_t kMaxWord = 255;  // bytes of a word kept; the rest is skipped

inline bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads the next blank-separated word of fp into word (at most kMaxWord
// bytes and a NUL; the rest of a longer word is read and dropped). False at
// the end of the file.
bool NextWord(FILE* fp, char (&word)[kMaxWord + 1]) {
  int c;
  while ((c = std::getc(fp)) != EOF && IsSpace(c)) {
  }
  if (c == EOF) return false;
  size_t n = 0;
  for (; c != EOF && !IsSpace(c); c = std::getc(fp)) {
    if (n < kMaxWord) word[n++] = static_cast<char>(c);
  }
  word[n] = '\0';
  return true;
}

}  // namespace

namespace dict_internal {

bool IsName(const char* table, const char* t) {
  // Each byte is read only after the one before it proved not to be the NUL.
  for (int i = 0; i < 6; i += 2) {
    if (!IsGbLead(t[i]) || !IsGbTrail(t[i + 1])) return false;
  }
  return table[SurnameIndex(t)] != 0;
}

}  // namespace dict_internal

char* dsur_load(const char* path, const char* file) {
  char full[256];
  if (!toolkit::JoinPath(full, path, file)) return nullptr;
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(full, ul_open, ul_fclose);
  if (!fp.ok()) return nullptr;
  auto* table = static_cast<char*>(ul_calloc(dict_internal::kSurnameTableSize, 1));
  if (table == nullptr) return nullptr;
  char word[kMaxWord + 1];
  while (NextWord(fp.get(), word)) {
    if (!dict_internal::IsGbLead(word[0]) || !dict_internal::IsGbTrail(word[1])) {
      ul_writelog(UL_LOG_WARNING, "[dsur_load] surname(%s) in(%s)error", word, file);
    }
    table[dict_internal::SurnameIndex(word)] = 1;
  }
  return table;
}

int dsur_del(char* table) {
  ul_free(table);
  return 1;
}

int dsur_seek(const char* table, const char* text, char* out) {
  char* o = out;
  int count = 0;
  const size_t len = std::strlen(text);
  for (size_t p = 0; p < len; p += static_cast<unsigned char>(text[p]) >= 0x80 ? 2 : 1) {
    if (dict_internal::IsName(table, text + p)) {
      o = dict_internal::AppendUnit(o, text + p, 6);
      ++count;
    }
  }
  *o = '\0';
  return count;
}

int dsur_search(const char* table, const char* text, char* out) {
  out[0] = '\0';
  if (!dict_internal::IsName(table, text)) return 0;
  *dict_internal::AppendUnit(out, text, 6) = '\0';
  return 1;
}
