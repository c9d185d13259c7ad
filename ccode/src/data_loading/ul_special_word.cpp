// Special words of the GBK/BIG5 -> GBI conversion: loading, the context
// rule, and the adjustment of the GBI grids.
#include "ul_special_word.h"

#include <stdlib.h>
#include <string.h>

#include "toolkit/file.h"
#include "ul_ccode_data.h"
#include "ul_func.h"
#include "ul_grid_cell.h"
#include "ul_log.h"

_special_word_t* g_gbk_hash_table = nullptr;
_special_word_t* g_big5_hash_table = nullptr;
gbk4special_big5_word_t* g_gbk4special_big5_table = nullptr;

namespace {

// A line holds at most this many bytes; the buffer also takes the appended
// blank and the NUL.
constexpr int kLineBytes = 1022;

void FreeContexts(_special_word_t* table, int slots) {
  if (table == nullptr) return;
  for (int i = 0; i < slots; ++i) {
    _word_context_list_t* node = table[i].context_list;
    while (node != nullptr) {
      _word_context_list_t* next = node->next;
      free(node->context);
      free(node);
      node = next;
    }
    table[i].context_list = nullptr;
  }
}

// Allocates a table of n zeroed entries, or zero-fills the one there.
template <typename T>
bool ZeroTable(T** table, int n) {
  if (*table == nullptr) *table = static_cast<T*>(calloc(static_cast<size_t>(n), sizeof(T)));
  else memset(*table, 0, sizeof(T) * static_cast<size_t>(n));
  return *table != nullptr;
}

// The text of a line after its blanks, as a cursor over tokens.
class LineCursor {
 public:
  explicit LineCursor(char* line) : p_(line) {}

  // Two bytes after the blanks (any two bytes); false when the line ends
  // before them.
  bool Pair(unsigned char out[2]) {
    SkipBlanks();
    if (p_[0] == '\0' || p_[1] == '\0') return false;
    out[0] = static_cast<unsigned char>(p_[0]);
    out[1] = static_cast<unsigned char>(p_[1]);
    p_ += 2;
    return true;
  }

  // True when only blanks are left.
  bool AtEnd() {
    SkipBlanks();
    return *p_ == '\0';
  }

  // The next blank-terminated token (NUL-terminated in place); NULL when no
  // blank follows it.
  char* Token() {
    SkipBlanks();
    char* start = p_;
    char* blank = strchr(p_, ' ');
    if (blank == nullptr) return nullptr;
    *blank = '\0';
    p_ = blank + 1;
    return start;
  }

 private:
  void SkipBlanks() {
    while (*p_ == ' ') ++p_;
  }
  char* p_;
};

enum class ParseResult { kOk, kBad, kNoMemory };

// Parses one line (CR/LF already cut, one blank appended) into its slot.
ParseResult ParseLine(char* line, bool big5) {
  LineCursor cur(line);
  unsigned char ch[2], after[2], gbk_form[2] = {0, 0};
  if (!cur.Pair(ch) || !cur.Pair(after)) return ParseResult::kBad;
  if (big5 && !cur.Pair(gbk_form)) return ParseResult::kBad;
  // A character outside its table (not a pair of its encoding) is bad data.
  if (big5 ? !IsBig5Pair(ch) : !IsGbkPair(ch)) return ParseResult::kBad;
  const int cell = big5 ? Big5Cell(ch) : GbkCell(ch);
  _special_word_t* slot = big5 ? &g_big5_hash_table[cell] : &g_gbk_hash_table[cell];
  memcpy(slot->word_before, ch, 2);
  memcpy(slot->word_after, after, 2);
  if (big5) memcpy(g_gbk4special_big5_table[cell].gbk4special_big5, gbk_form, 2);
  while (!cur.AtEnd()) {
    char* context = cur.Token();
    char* upper = context == nullptr ? nullptr : cur.Token();
    char* next = upper == nullptr ? nullptr : cur.Token();
    if (next == nullptr || strlen(context) < 4) return ParseResult::kBad;
    auto* node = static_cast<_word_context_list_t*>(malloc(sizeof(_word_context_list_t)));
    char* text = node == nullptr ? nullptr : strdup(context);
    if (text == nullptr) {
      free(node);
      return ParseResult::kNoMemory;
    }
    node->upper_context = static_cast<uint16_t>(atoi(upper));
    node->next_context = static_cast<uint16_t>(atoi(next));
    node->context = text;
    node->next = slot->context_list;
    slot->context_list = node;
  }
  return ParseResult::kOk;
}

// Parses every line of fp; false (logged) at the first bad one.
bool ParseFile(FILE* fp, bool big5) {
  char line[kLineBytes + 2];
  while (ul_fgets(line, kLineBytes + 1, fp) != nullptr) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
    if (n == 0) continue;  // an empty line has no character
    line[n] = ' ';
    line[n + 1] = '\0';
    ParseResult r = ParseLine(line, big5);
    if (r == ParseResult::kNoMemory) {
      ul_writelog(UL_LOG_FATAL, "malloc in parser_a_line failed!");
      return false;
    }
    if (r == ParseResult::kBad) {
      ul_writelog(UL_LOG_FATAL, "parse %s.special failed!", big5 ? "big5" : "gbk");
      return false;
    }
  }
  return true;
}

}  // namespace

int special_word_load(const char* path) {
  FreeContexts(g_gbk_hash_table, kGbkSpecialSlots);
  FreeContexts(g_big5_hash_table, kBig5SpecialSlots);
  if (!ZeroTable(&g_gbk_hash_table, kGbkSpecialSlots) || !ZeroTable(&g_big5_hash_table, kBig5SpecialSlots) ||
      !ZeroTable(&g_gbk4special_big5_table, kBig5SpecialSlots)) {
    ul_writelog(UL_LOG_FATAL, "malloc in parser_a_line failed!");
    return 0;
  }
  toolkit::UniqueFile gbk(ccode_data_open(path, "code/gbk.special"), ul_fclose);
  if (!gbk.ok()) return 0;
  toolkit::UniqueFile big5(ccode_data_open(path, "code/big5.special"), ul_fclose);
  if (!big5.ok()) return 0;
  return ParseFile(gbk.get(), false) && ParseFile(big5.get(), true) ? 1 : 0;
}

void modify_map(unsigned char* gbk_grid, unsigned char* big5_grid) {
  const struct {
    _special_word_t* table;
    int slots;
    unsigned char* grid;
    const char* name;
  } sides[] = {{g_gbk_hash_table, kGbkSpecialSlots, gbk_grid, "g_gbk_hash_table"},
               {g_big5_hash_table, kBig5SpecialSlots, big5_grid, "g_big5_hash_table"}};
  for (const auto& side : sides) {
    if (side.table == nullptr || side.grid == nullptr) continue;
    for (int i = 0; i < side.slots; ++i) {
      const unsigned char* ch = side.table[i].word_before;
      if (ch[0] == 0) continue;
      // The slot number is the character's cell in its own grid layout.
      if (IsGbkPair(ch)) {
        side.grid[2 * i] = 0;
        side.grid[2 * i + 1] = 0;
      } else {
        char text[3] = {static_cast<char>(ch[0]), static_cast<char>(ch[1]), '\0'};
        ul_writelog(UL_LOG_WARNING, "%s[%d]=%s!", side.name, i, text);
      }
    }
  }
}

void special_word_destroy() {
  FreeContexts(g_gbk_hash_table, kGbkSpecialSlots);
  FreeContexts(g_big5_hash_table, kBig5SpecialSlots);
  free(g_gbk_hash_table);
  free(g_big5_hash_table);
  free(g_gbk4special_big5_table);
  g_gbk_hash_table = nullptr;
  g_big5_hash_table = nullptr;
  g_gbk4special_big5_table = nullptr;
}

void trans_special_word(const unsigned char* src, unsigned char* dst, int srcpos, int dstpos, int len,
                        const _special_word_t* slot, const gbk4special_big5_word_t* gbk4special) {
  const unsigned char* out = nullptr;
  if (slot != nullptr) {
    for (const _word_context_list_t* node = slot->context_list; node != nullptr; node = node->next) {
      const long start = static_cast<long>(srcpos) - 2L * node->upper_context;
      const long end = static_cast<long>(srcpos) + 2L * node->next_context + 2;
      if (start < 0 || end > len) continue;
      const size_t span = static_cast<size_t>(end - start);
      if (strlen(node->context) < span || memcmp(src + start, node->context, span) != 0) continue;
      out = gbk4special != nullptr ? gbk4special->gbk4special_big5 : slot->word_before;
      break;
    }
    if (out == nullptr) out = slot->word_after;
  }
  static const unsigned char kBlanks[2] = {' ', ' '};
  if (out == nullptr || out[0] == 0 || out[1] == 0) out = kBlanks;
  dst[dstpos] = out[0];
  dst[dstpos + 1] = out[1];
}
