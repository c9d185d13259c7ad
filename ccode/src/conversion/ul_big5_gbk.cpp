// BIG5, GBK and GBI table conversion over the loaded grids.
#include "ul_big5_gbk.h"

#include <stdint.h>
#include <string.h>

#include "ul_ccode_data.h"
#include "ul_ccode_load.h"
#include "ul_grid_cell.h"
#include "ul_log.h"
#include "ul_special_word.h"

namespace {

enum class Source { kBig5, kGbk };

// Copies a grid cell; false for a zero cell (a zero byte in it would cut
// the text, so a damaged cell counts as zero too).
inline bool PutCell(const unsigned char* grid, int cell, unsigned char* d) {
  const unsigned char* c = grid + 2 * cell;
  if (c[0] == 0 || c[1] == 0) return false;
  d[0] = c[0];
  d[1] = c[1];
  return true;
}

int Walk(Source source, const unsigned char* grid, const unsigned char* src, unsigned char* dst, int len) {
  if (grid == nullptr) {
    ul_writelog(UL_LOG_FATAL, source == Source::kBig5 ? "have not load the maping table.\n"
                                                      : "Fatal error : have not load the maping table.\n");
    return -1;
  }
  if (src == nullptr || dst == nullptr) return -1;
  const bool big5 = source == Source::kBig5;
  const int n = len > 0 ? len : static_cast<int>(strlen(reinterpret_cast<const char*>(src)));
  int i = 0;
  while (i < n) {
    const unsigned char* p = src + i;
    if (i + 1 < n) {
      if (big5 ? IsBig5Pair(p) : IsGbkPair(p)) {
        const int cell = big5 ? Big5Cell(p) : GbkCell(p);
        if (!PutCell(grid, cell, dst + i)) {
          const _special_word_t* table = big5 ? g_big5_hash_table : g_gbk_hash_table;
          trans_special_word(src, dst, i, i, n, table ? &table[cell] : nullptr,
                             big5 && g_gbk4special_big5_table ? &g_gbk4special_big5_table[cell] : nullptr);
        }
        i += 2;
        continue;
      }
      if (big5 && p[0] > 0x9F && p[1] > 0x3F) {
        dst[i] = ' ';
        dst[i + 1] = ' ';
        i += 2;
        continue;
      }
      if (p[0] > 0x80 && p[1] != 0) {
        dst[i] = p[0];
        dst[i + 1] = p[1];
        i += 2;
        continue;
      }
    }
    dst[i] = p[0];
    ++i;
  }
  if (len <= 0 || src[n] == 0) dst[n] = 0;
  return n;
}

}  // namespace

int big5_to_str(const unsigned char* grid, const unsigned char* src, unsigned char* dst, int len) {
  return Walk(Source::kBig5, grid, src, dst, len);
}

int gbk_to_str(const unsigned char* grid, const unsigned char* src, unsigned char* dst, int len) {
  return Walk(Source::kGbk, grid, src, dst, len);
}

int ul_big5_gbk_str(const unsigned char* src, unsigned char* dst, int len) {
  return big5_to_str(big5_gbk_map, src, dst, len);
}
int ul_big5_gbi_str(const unsigned char* src, unsigned char* dst, int len) {
  return big5_to_str(big5_gbi_map, src, dst, len);
}
int ul_gbk_big5_str(const unsigned char* src, unsigned char* dst, int len) {
  return gbk_to_str(gbk_big5_map, src, dst, len);
}
int ul_gbk_gbi_str(const unsigned char* src, unsigned char* dst, int len) {
  return gbk_to_str(gbk_gbi_map, src, dst, len);
}
int ul_gbi_big5_str(const unsigned char* src, unsigned char* dst, int len) {
  return gbk_to_str(gbi_big5_map, src, dst, len);
}
int ul_gbi_gbk_str(const unsigned char* src, unsigned char* dst, int len) {
  return gbk_to_str(gbi_gbk_map, src, dst, len);
}

int ul_is_tradgbk_str(const char* s) {
  if (s == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  int simp = 0, trad = 0;
  while (*p != 0) {
    if (*p > 0x80) {
      if (p[1] == 0) break;
      const uint16_t key = static_cast<uint16_t>(p[0] | (p[1] << 8));
      if (l_setGbkSimp.count(key)) ++simp;
      else if (l_setGbkTrad.count(key)) ++trad;
      p += 2;
    } else {
      ++p;
    }
  }
  return trad > simp ? 1 : 0;
}

int is_gbk_str(const char* s) {
  if (s == nullptr) return 0;
  constexpr int kPairBytes = 256;
  // One byte more than the pairs: the conversion looks at the byte after
  // its length for a NUL.
  unsigned char pairs[kPairBytes + 1] = {0};
  unsigned char gbi[kPairBytes + 1] = {0};
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  int n = 0, lead_changes = 0;
  unsigned char last_lead = 0;
  while (*p != 0 && n < kPairBytes) {
    if (*p & 0x80) {
      if (p[1] == 0) break;
      if (p[0] != last_lead) ++lead_changes;  // the first pair too: leads are never 0
      last_lead = p[0];
      pairs[n++] = p[0];
      pairs[n++] = p[1];
      p += 2;
    } else {
      ++p;
    }
  }
  if (n == 0) return 0;
  if (ul_gbk_gbi_str(pairs, gbi, n) < 0) return 0;
  int hits = 0, gb = 0;
  for (int j = 0; j + 4 <= n;) {
    const uint32_t key = static_cast<uint32_t>(gbi[j]) | static_cast<uint32_t>(gbi[j + 1]) << 8 |
                         static_cast<uint32_t>(gbi[j + 2]) << 16 | static_cast<uint32_t>(gbi[j + 3]) << 24;
    if (l_setWords.count(key)) {
      ++hits;
      j += 4;
    } else {
      j += 2;
    }
  }
  for (int j = 0; j < n; j += 2) {
    if (gbi[j] >= 0xB0 && gbi[j] <= 0xF7 && gbi[j + 1] >= 0xA1 && gbi[j + 1] <= 0xFE) ++gb;
  }
  if (lead_changes > 20 && static_cast<double>(gb) / lead_changes < 0.5) return 0;
  if (gb < 8) return 1;
  return static_cast<double>(hits) / gb >= 0.025 ? 1 : 0;
}

int is_gb1(const unsigned char* pair) {
  return pair != nullptr && pair[0] >= 0xB0 && pair[0] <= 0xD7 && pair[1] >= 0xA1 && pair[1] <= 0xFE;
}

int is_foreign(const unsigned char* pair) {
  return pair != nullptr && pair[0] >= 0xA4 && pair[0] <= 0xA8 && pair[1] >= 0xA1 && pair[1] <= 0xFE;
}
