// Query code-type detection: its statistics record, frequency tables,
// overrides, loaders and inner steps.
#ifndef CCODE_SRC_UL_QUERY_DATA_H_
#define CCODE_SRC_UL_QUERY_DATA_H_

#include <string>

#include "utils/ccode_hashmap.h"

// A character whose frequency is below this (or that is missing) is rare.
const int LOW_FREQ_BOUND = 10000;
// Queries are shorter than this; also the size of the conversion buffers.
const int QUERY_MAX_LEN = 102400;

// Byte classes of the three per-byte classifiers.
enum _CHARACTERBYTEFLAG_t {
  CBF_UNKNOWN = 0,
  CBF_ASCII = 1,
  CBF_VALIDBYTE = 2,
  CBF_INVALIDBYTE = 4,
  CBF_OKFIRST = 8,
  CBF_ERRFIRST = 16,
  CBF_OKSEC = 32,
  CBF_ERRSEC = 64,
  CBF_OKOTHER = 128,
  CBF_ERROTHER = 256,
  CBF_NUM = 11
};

// Length of a UTF-8 character by its first byte (0 for 80..BF, FE, FF).
extern const unsigned char utf8wordlen[256];

// Statistics of one query. The frequency sums are 64-bit (a long query of
// frequent characters overflows 32 bits).
struct _ccode_query_info_t {
  const char* query;
  int query_len;
  int gbkoknum, gb2312oknum, utfoknum;
  int gbkerrnum, gb2312errnum, utferrnum;
  int utfall3byte;
  int unseenum;
  float avegbkfreq, gbkdiv;
  int gbkwnum;
  long long gbkfreq;
  int gbkminfreq, gbkuhnum, gbkishf, gbklowfreqnum, gbklowseqlen;
  float aveutf8freq, utf8div;
  int utf8wnum;
  long long utf8freq;
  int utf8minfreq, utf8uhnum, utf8ishf, utf8lowfreqnum, utf8lowseqlen;
  float ucs2avefreq;
  int us2gbkwnum;
  long long ucs2gbkfreq;
  int ucs2gbkminfreq, us2gbkunhum, us2gbkishf;
};

// Zeroes every field; the three minimum fields become 2147483647.
void ccode_query_info_reset(_ccode_query_info_t* info);

typedef ccode::hashmap<std::string, int> QueryDict;

// The two frequency tables; the pointers are NULL while not loaded.
struct _WordUnigramStat_t {
  QueryDict* gbkdict = nullptr;
  QueryDict* utf8dict = nullptr;
  int gbkwordnum = 0;
  int utfwordnum = 0;
  QueryDict _gbkdict;
  QueryDict _utf8dict;
};
extern _WordUnigramStat_t* punistat;

// The overrides: query -> code type; dict is NULL while not loaded.
struct _query_config_t {
  QueryDict* dict = nullptr;
  QueryDict _dict;
};
extern _query_config_t* pqueryconfig;

// Loads both frequency files (path + "/" + each name), replacing tables
// loaded before: 1, or -1 (logged) with no table left.
int LoadQueryUnigramData(const char* path, const char* gbkfile, const char* utf8file);
// True while the frequency tables are loaded.
bool QueryUnigramLoaded();
// One frequency file into dict: the number of entries taken, -1 when it
// cannot be opened.
int LoadQueryUnigramFile(const char* path, const char* file, QueryDict* dict);
// Loads the optional override file, replacing earlier overrides: 1, or -1
// (logged) with no overrides left.
int load_query_detect_config(const char* path, const char* file);
// Release what the two loaders built; harmless when nothing is loaded.
void DestroyQueryUnigramData();
void destroy_query_detect_config();

// Inner steps of the detection.
int is_ok_gbk_byte(unsigned char b, int* state);
int is_ok_gb2312_byte(unsigned char b, int* state);
int is_ok_utf_byte(unsigned char b, int* pos, int* len);
// Byte-validity counts of info->query: 1, or -1 for a length below 1.
int check_charsetv2(_ccode_query_info_t* info);
// The stored frequency of key, -2 when absent, -1 for a NULL map or empty key.
int search_sdict_value(const QueryDict* dict, const std::string& key);
// Variance of the first min(n, 1024) recorded frequencies around sum / n.
float CalculateDivDiff(const int* freqs, int n, long long sum);
// Frequency statistics: 1, or -1 (logged when the tables are not loaded).
int JudgeGBKorUTF8(const char* query, int len, _ccode_query_info_t* info, const _WordUnigramStat_t* stat);
// The decision rules: CODETYPE_GB, CODETYPE_UTF8 or CODETYPE_UCS2.
int query_detect(const _ccode_query_info_t* info);
// The same, answering the number (1..15) of the rule that decided and the
// code type in *code.
int query_detect_rule(const _ccode_query_info_t* info, int* code);
// UCS-2 (low byte first) to GBK through a swapped copy and three-byte UTF-8.
int ConvUCS2Query2GBK(const char* src, int srclen, char* dst, int dstlen);
// Units (high byte first) to three bytes each, NUL-terminated; the bytes
// written, or -1 for NULL or a dst shorter than 2 bytes.
int ConvUTS2UTF8_str(const unsigned char* units, int count, char* dst, int dstlen);

#endif  // CCODE_SRC_UL_QUERY_DATA_H_
