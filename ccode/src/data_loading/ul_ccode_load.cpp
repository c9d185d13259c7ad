// Loading and release of the character-code data directory.
#include "ul_ccode_load.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <new>
#include <string>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "toolkit/replace.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_pagetables.h"
#include "ul_func.h"
#include "ul_jcode_table.h"
#include "ul_langfeature.h"
#include "ul_log.h"
#include "ul_query_data.h"
#include "ul_special_word.h"
#include "ul_transch.h"
#include "ul_whiteurl.h"

int CCODE_LOAD_FLAG = -1;

unsigned char* big5_gbk_map = nullptr;
unsigned char* big5_gbi_map = nullptr;
unsigned char* gbk_big5_map = nullptr;
unsigned char* gbk_gbi_map = nullptr;
unsigned char* gbi_big5_map = nullptr;
unsigned char* gbi_gbk_map = nullptr;

const int langindex[kUnigramSlots] = {0, 10, 47, 42, 9, 5, 24, 7, 13, 21, 23, 34, 6, 48, 8};

ccode_charset_t l_setHanzi, l_setGbkSimp, l_setGbkTrad, l_setGbkSimpPure, l_setGbkJpHanzi, l_setGbkJpHanziUnq;
ccode_bigramset_t l_setWords, l_setKrjp, l_setGbkjp, l_setEuckr, l_setSjis, l_setEucjp;
ccode_wordmap_t l_mapWord[kUnigramSlots];
ccode_wordbits_t l_globalWord;
ccode_transmap_t l_trad2simp, l_simp2trad;

namespace {

constexpr size_t kNameSize = 4096;   // "%s/%s" of the data path and a file name
constexpr int kBjSize = 96;          // bytes of each full-width map
constexpr int kSetLineSize = 1024;   // set files are read 1,023 bytes at a time
constexpr size_t kWordMapBuckets = 0x10000;
constexpr size_t kGlobalWordBuckets = 0x100000;

// A data file opened through ul_fopen, closed through ul_fclose at scope end.
toolkit::UniqueFile OwnFile(FILE* fp) { return toolkit::UniqueFile(fp, ul_fclose); }

// Reads lines of any length (NUL bytes included) from a file it owns.
class LineReader {
 public:
  explicit LineReader(FILE* fp) : file_(OwnFile(fp)) {}
  ~LineReader() { free(buf_); }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line with its line feed, or false at the end of the file.
  bool Next(std::string_view* line) {
    ssize_t n = getline(&buf_, &cap_, file_.get());
    if (n < 0) return false;
    *line = std::string_view(buf_, static_cast<size_t>(n));
    return true;
  }

 private:
  toolkit::UniqueFile file_;
  char* buf_ = nullptr;
  size_t cap_ = 0;
};

std::string_view CutLf(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

// A grid of rows x cells two-byte cells, read as the grid files are laid
// out: a header line, then per row two ignored bytes and the cells. A row is
// read as one text line of at most line_size - 1 bytes (a longer line goes on
// as the next row); its copy stops at a NUL byte and at the line end, and the
// rest of the row is zero. A file that ends early repeats its last row into
// the rows left (rows stay zero when it has none).
void ReadGrid(FILE* fp, unsigned char* grid, int rows, int cells, int line_size) {
  std::string line(static_cast<size_t>(line_size), '\0');
  const size_t row_bytes = static_cast<size_t>(cells) * 2;
  // The header: skipped to its real end.
  int c;
  while ((c = getc(fp)) != EOF && c != '\n') {
  }
  const unsigned char* last = nullptr;
  for (int r = 0; r < rows; ++r) {
    unsigned char* row = grid + static_cast<size_t>(r) * row_bytes;
    char* text = ul_fgets(&line[0], line_size, fp);
    if (text == nullptr) {
      if (last != nullptr) memcpy(row, last, row_bytes);
      continue;
    }
    size_t len = strlen(text);
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r')) --len;
    if (len > 2) memcpy(row, text + 2, std::min(len - 2, row_bytes));
    last = row;
  }
}

unsigned char* LoadGrid(const char* path, const char* file, int rows, int cells, int line_size, bool big5) {
  const size_t size = static_cast<size_t>(rows) * cells * 2;
  unsigned char* grid = static_cast<unsigned char*>(big5 ? ul_malloc(size) : calloc(1, size));
  if (grid == nullptr) {
    ul_writelog(UL_LOG_FATAL, big5 ? "ul_malloc error in big5_to_load!" : "malloc fail");
    return nullptr;
  }
  toolkit::UniqueFile fp = OwnFile(ccode_data_open(path, file));
  if (!fp.ok()) {
    free(grid);
    return nullptr;
  }
  ReadGrid(fp.get(), grid, rows, cells, line_size);
  return grid;
}

unsigned char* LoadOnce(unsigned char** map, unsigned char* (*reader)(const char*, const char*), const char* path,
                        const char* file) {
  if (*map == nullptr) *map = reader(path, file);
  return *map;
}

bool IsRegularFile(const char* name) {
  struct stat st;
  return stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

// The two full-width map names under path + "/code/".
bool BjNames(const char* path, char (&bj)[kNameSize], char (&ext)[kNameSize]) {
  return toolkit::JoinPath(bj, path, "code/bj.txt") && toolkit::JoinPath(ext, path, "code/bj_ext.txt");
}

bool ReadBj(const char* name, unsigned char** map) {
  struct stat st;
  if (stat(name, &st) != 0 || st.st_size != kBjSize) return false;
  if (*map != nullptr) return true;
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(name, ul_open, ul_fclose);
  if (!fp.ok()) return false;
  unsigned char* m = static_cast<unsigned char*>(ul_malloc(kBjSize));
  const bool ok = m != nullptr && fread(m, 1, kBjSize, fp.get()) == static_cast<size_t>(kBjSize);
  fp.Close();
  if (!ok) {
    free(m);
    return false;
  }
  *map = m;
  return true;
}

void FreeGrid(unsigned char** grid) {
  free(*grid);
  *grid = nullptr;
}

void ReleaseFeatureSet() {
  if (g_langfeaset == nullptr) return;
  g_langfeaset->destroy_feature();
  g_langfeaset->delete_feature();
  delete g_langfeaset;
  g_langfeaset = nullptr;
}

}  // namespace

// --- readers ------------------------------------------------------------------

FILE* ccode_data_open(const char* path, const char* name) {
  char full[kNameSize];
  if (!toolkit::JoinPath(full, path, name)) {
    ul_writelog(UL_LOG_FATAL, "open %s/%s error", path, name);
    return nullptr;
  }
  FILE* fp = toolkit::OpenStreamForReading(full, ul_open).release();
  if (fp == nullptr) ul_writelog(UL_LOG_FATAL, "open %s error", full);
  return fp;
}

bool ccode_page_data_wanted(int flag) { return flag == 0 || (flag & (1 | 2 | 8)) != 0; }

unsigned char* big5_to_load(const char* path, const char* file) {
  return LoadGrid(path, file, kBig5Rows, kBig5Cells, 471, true);
}

unsigned char* gbk_to_load(const char* path, const char* file) {
  return LoadGrid(path, file, kGbkRows, kGbkCells, 573, false);
}

unsigned char* ul_big5_gbk_load(const char* path, const char* file) {
  return LoadOnce(&big5_gbk_map, big5_to_load, path, file);
}
unsigned char* ul_big5_gbi_load(const char* path, const char* file) {
  return LoadOnce(&big5_gbi_map, big5_to_load, path, file);
}
unsigned char* ul_gbk_big5_load(const char* path, const char* file) {
  return LoadOnce(&gbk_big5_map, gbk_to_load, path, file);
}
unsigned char* ul_gbk_gbi_load(const char* path, const char* file) {
  return LoadOnce(&gbk_gbi_map, gbk_to_load, path, file);
}
unsigned char* ul_gbi_big5_load(const char* path, const char* file) {
  return LoadOnce(&gbi_big5_map, gbk_to_load, path, file);
}
unsigned char* ul_gbi_gbk_load(const char* path, const char* file) {
  return LoadOnce(&gbi_gbk_map, gbk_to_load, path, file);
}

// Character and bigram sets: each piece of at most kSetLineSize - 1 bytes
// up to a line feed gives one key from its first bytes; a piece shorter than
// the key (its line feed not counted) gives none.
template <typename Set, int kKeyBytes>
int LoadKeySet(const char* path, const char* file, Set* set) {
  if (!set->empty()) return 1;
  toolkit::UniqueFile fp = OwnFile(ccode_data_open(path, file));
  if (!fp.ok()) return -1;
  char line[kSetLineSize];
  while (ul_fgets(line, sizeof(line), fp.get()) != nullptr) {
    size_t len = strlen(line);
    if (len > 0 && line[len - 1] == '\n') --len;
    if (len < static_cast<size_t>(kKeyBytes)) continue;
    typename Set::value_type key = 0;
    for (int i = 0; i < kKeyBytes; ++i) {
      key |= static_cast<typename Set::value_type>(static_cast<unsigned char>(line[i])) << (8 * i);
    }
    set->insert(key);
  }
  return 1;
}

int load_unigram_dict(const char* path, const char* file, ccode_charset_t* set) {
  return LoadKeySet<ccode_charset_t, 2>(path, file, set);
}

int load_bigram_dict(const char* path, const char* file, ccode_bigramset_t* set) {
  return LoadKeySet<ccode_bigramset_t, 4>(path, file, set);
}

int load_word_unigram(const char* path, const char* file, ccode_wordmap_t* map, int slot) {
  if (map == nullptr || slot < 0 || slot >= kUnigramSlots) return -1;
  if (map->size() != 0) return 0;
  if (map->create(kWordMapBuckets) != 0) return -1;
  FILE* fp = ccode_data_open(path, file);
  if (fp == nullptr) return -1;
  LineReader reader(fp);
  std::string_view line;
  int taken = 0;
  while (reader.Next(&line)) {
    line = CutLf(line);
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    const std::string word(line.substr(0, tab));
    const std::string number(line.substr(tab + 1));
    if (map->set(word, strtod(number.c_str(), nullptr), 0) == -1) continue;
    unsigned int bits = 0;
    l_globalWord.get(word, &bits);
    if (l_globalWord.set(word, bits | (1u << slot), 1) == -1) return -1;
    ++taken;
  }
  return taken;
}

int load_trad_simp_map(const char* path, const char* file, ccode_transmap_t* map) {
  if (map == nullptr) return -1;
  if (map->size() != 0) return 0;
  if (map->create(kWordMapBuckets) != 0) return -1;
  FILE* fp = ccode_data_open(path, file);
  if (fp == nullptr) return -1;
  LineReader reader(fp);
  std::string_view line;
  int taken = 0;
  while (reader.Next(&line)) {
    line = line.substr(0, line.find('\r'));
    line = line.substr(0, line.find('\n'));
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    if (map->set(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)), 0) == -1) return -1;
    ++taken;
  }
  return taken;
}

// --- full-width maps ------------------------------------------------------------

int is_load_bj(const char* path) {
  char bj[kNameSize], ext[kNameSize];
  if (path == nullptr || !BjNames(path, bj, ext)) return 0;
  return IsRegularFile(bj) && IsRegularFile(ext) ? 1 : 0;
}

int load_bj(const char* path) {
  char bj[kNameSize], ext[kNameSize];
  if (path != nullptr && BjNames(path, bj, ext) && ReadBj(bj, &map_for_bj) && ReadBj(ext, &map_for_bj_ext)) {
    return 1;
  }
  free(map_for_bj);
  free(map_for_bj_ext);
  map_for_bj = map_for_bj_ext = nullptr;
  return 0;
}

// --- load and release -------------------------------------------------------------

int ul_ccode_load(const char* path, int flag) {
  if (path == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter 'path' in function 'ul_ccode_load'.\n");
    return -1;
  }
  CCODE_LOAD_FLAG = flag;
  if (ul_ccode_conv_init() != 0) {
    ul_writelog(UL_LOG_FATAL, "ul_ccode_conv_init fail!");
    return -1;
  }
  const bool grids = ul_big5_gbi_load(path, "code/big5-gbi.txt") != nullptr &&
                     ul_big5_gbk_load(path, "code/big5-gbk.txt") != nullptr &&
                     ul_gbk_big5_load(path, "code/gbk-big5.txt") != nullptr &&
                     ul_gbk_gbi_load(path, "code/gbk-gbi.txt") != nullptr &&
                     ul_gbi_gbk_load(path, "code/gbi-gbk.txt") != nullptr &&
                     ul_gbi_big5_load(path, "code/gbi-big5.txt") != nullptr;
  const bool page = ccode_page_data_wanted(flag);
  if (page) {
    if (whiteUrl_dict == nullptr) whiteUrl_dict = ul_whiteUrl_load(path, "code/white-url.txt");
    if (i18n_whiteUrl_dict == nullptr) i18n_whiteUrl_dict = ul_i18n_whiteUrl_load(path, "code/i18n-white-url.txt");
  }
  if (!grids) {
    ul_writelog(UL_LOG_FATAL, "load gbk,gbi,big5 trans resource fail.");
    return -1;
  }
  if (flag & 1) {
    if (special_word_load(path) == 0) {
      ul_writelog(UL_LOG_FATAL, "load special word fail.");
      return -1;
    }
    modify_map(gbk_gbi_map, big5_gbi_map);
  }
  if (is_load_bj(path) && load_bj(path) == 0) {
    ul_writelog(UL_LOG_FATAL, "load bj file error!");
    return -1;
  }
  if (page) {
    // The page detection reads these tables through compact copies, made
    // anew from what this block leaves in them, also when it fails.
    CcodePageTablesRebuild rebuild;
    struct CharSetFile {
      const char* name;
      ccode_charset_t* set;
    };
    struct BigramFile {
      const char* name;
      ccode_bigramset_t* set;
    };
    if (load_bigram_dict(path, "code/bigram.dic", &l_setWords) < 0) return -1;
    for (const CharSetFile& f : {CharSetFile{"code/gbkwords.txt", &l_setHanzi},
                                 CharSetFile{"code/gbk_simp.txt", &l_setGbkSimp},
                                 CharSetFile{"code/gbk_trad.txt", &l_setGbkTrad},
                                 CharSetFile{"code/gbk_simp_pure.txt", &l_setGbkSimpPure},
                                 CharSetFile{"code/gbk_jphanzi.txt", &l_setGbkJpHanzi},
                                 CharSetFile{"code/gbk_jphanzi_unq.txt", &l_setGbkJpHanziUnq}}) {
      if (load_unigram_dict(path, f.name, f.set) < 0) return -1;
    }
    for (const BigramFile& f : {BigramFile{"code/bigram_krjp.dic", &l_setKrjp},
                                BigramFile{"code/bigram_gbkjp.dic", &l_setGbkjp},
                                BigramFile{"code/bigram_euckr.dic", &l_setEuckr}}) {
      if (load_bigram_dict(path, f.name, f.set) < 0) return -1;
    }
    if (l_globalWord.size() == 0 && l_globalWord.create(kGlobalWordBuckets) != 0) return -1;
    for (int slot = 0; slot < kUnigramSlots; ++slot) {
      char name[256];
      snprintf(name, sizeof(name), "code/unigram/%d.unigram", slot);
      if (load_word_unigram(path, name, &l_mapWord[slot], slot) < 0) return -1;
    }
    if (load_trad_simp_map(path, "code/trad_simp_words.dic", &l_trad2simp) < 0) return -1;
    if (load_trad_simp_map(path, "code/simp_trad_words.dic", &l_simp2trad) < 0) return -1;
    if (ul_jcode_transfer_init() < 0) return -1;
    if (load_bigram_dict(path, "code/bigram_sjis.dic", &l_setSjis) < 0) return -1;
    if (load_bigram_dict(path, "code/bigram_eucjp.dic", &l_setEucjp) < 0) return -1;
    if (!rebuild.Now()) return -1;
  }
  // The query data is read once; a later load keeps the tables it finds.
  if ((flag & 2) && !QueryUnigramLoaded()) {
    if (LoadQueryUnigramData(path, "code/query_unigram_ingbk.txt", "code/query_unigram_inutf8.txt") < 0) {
      return -1;
    }
    load_query_detect_config(path, "code/query_detect.conf");
  }
  if (!(flag & 4)) return 0;
  // A set built by an earlier load is released before the new one.
  ReleaseFeatureSet();
  g_langfeaset = new (std::nothrow) LANGFEATURESET();
  if (g_langfeaset == nullptr) {
    ul_writelog(UL_LOG_FATAL, "g_langfeaset fail\n");
    return -1;
  }
  if (!g_langfeaset->init_feature()) {
    ul_writelog(UL_LOG_FATAL, "init fail\n");
    return -1;
  }
  const std::string prefix = std::string(path) + "/code/";
  if (!g_langfeaset->loadfeature(prefix.c_str())) {
    ul_writelog(UL_LOG_FATAL, "load feature fail\n");
    return -1;
  }
  return 0;
}

int ul_ccode_del() {
  ul_ccode_conv_del();
  for (unsigned char** grid : {&big5_gbk_map, &big5_gbi_map, &gbk_big5_map, &gbk_gbi_map, &gbi_big5_map,
                               &gbi_gbk_map}) {
    FreeGrid(grid);
  }
  for (Sdict_build** list : {&whiteUrl_dict, &i18n_whiteUrl_dict}) {
    if (*list != nullptr) db_del(*list);
    *list = nullptr;
  }
  special_word_destroy();
  FreeGrid(&map_for_bj);
  FreeGrid(&map_for_bj_ext);
  for (ccode_wordmap_t& map : l_mapWord) map.destroy();
  l_globalWord.destroy();
  ccode_page_tables_clear();
  l_trad2simp.destroy();
  l_simp2trad.destroy();
  DestroyQueryUnigramData();
  destroy_query_detect_config();
  ReleaseFeatureSet();
  return 1;
}

// --- the default data directory ------------------------------------------------

const char* ul_ccode_default_path() {
  const char* env = getenv("PBDICT_CCODE_DATA");
  if (env != nullptr && env[0] != '\0') return env;
  struct stat st;
  if (stat(PBDICT_CCODE_INSTALLED_DATA "/code", &st) == 0 && S_ISDIR(st.st_mode)) {
    return PBDICT_CCODE_INSTALLED_DATA;
  }
  return PBDICT_CCODE_SOURCE_DATA;
}

// --- the offline merge tool ------------------------------------------------------

int ul_creat_gbi(const char* path, const char* base, const char* overlay, const char* out) {
  constexpr int kLines = 127;     // the header and the 126 rows
  constexpr int kLineSize = 511;  // at most 510 bytes of a line are read
  if (path == nullptr || base == nullptr || overlay == nullptr || out == nullptr) return -1;
  const char* parts[2] = {base, overlay};
  toolkit::UniqueFile files[2];
  for (int i = 0; i < 2; ++i) {
    char name[kNameSize];
    if (!toolkit::JoinPath(name, path, parts[i])) return -1;
    files[i] = toolkit::OpenStreamForReading(name, ul_open, ul_fclose);
    if (!files[i].ok()) return -1;
  }
  // The merged grid replaces out whole: a reader never sees half of it, and
  // a failed run leaves the old file as it was.
  char out_name[kNameSize];
  if (!toolkit::JoinPath(out_name, path, out)) return -1;
  toolkit::FileReplacement merged;
  if (!merged.Open(out_name, 0644)) return -1;
  FILE* w = merged.Stream();
  if (w == nullptr) return -1;
  char b[kLineSize], o[kLineSize];
  for (int line = 0; line < kLines; ++line) {
    if (ul_fgets(o, sizeof(o), files[1].get()) == nullptr) break;
    if (ul_fgets(b, sizeof(b), files[0].get()) == nullptr) b[0] = '\0';
    size_t olen = strlen(o), blen = strlen(b);
    while (olen > 0 && (o[olen - 1] == '\n' || o[olen - 1] == '\r')) --olen;
    while (blen > 0 && (b[blen - 1] == '\n' || b[blen - 1] == '\r')) --blen;
    // Merges only the bytes both lines hold; the overlay's own bytes
    // otherwise.
    for (size_t i = 0; i + 1 < olen && i + 1 < blen; i += 2) {
      const unsigned char c0 = static_cast<unsigned char>(o[i]), c1 = static_cast<unsigned char>(o[i + 1]);
      if (c0 == 0xA1 && (c1 == 0xA1 || c1 == 0xF5)) memcpy(o + i, b + i, 2);
    }
    o[olen] = '\0';
    fputs(o, w);  // text output: stops at a NUL byte
    fputc('\n', w);
  }
  return merged.Commit() ? 0 : -1;
}
