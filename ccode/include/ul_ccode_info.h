// The page-statistics record: one per thread (ul_ccode_conv.h gives every
// thread that opened its state one, through get_ccode_info), filled for one
// web page at a time by the page statistics and read by the page code-type
// and language decisions.
#ifndef UL_CCODE_INFO_H_
#define UL_CCODE_INFO_H_

// Numeric character references of a page.
struct _ref_info_t {
  int ref_count;
  int ref_cn_simp_count;
  int ref_cn_trad_count;
  int ref_jp_count;
  int ref_latin_count;
  int ref_ascii_count;
};

// GBK classification of a page's byte pairs.
struct _gbk_info_t {
  int gbk_count;
  int gbk_simp_count;
  int gbk_trad_count;
  int gbk_cn_hanzi_unq;
  int gbk_jp_count;
  int gbk_jp_hanzi;
  int gbk_jp_hanzi_unq;
  int gbk_bigram;
  int gbkjp_bigram;
};

// UTF-8 character classes of a text and of the page title.
struct _utf8_info_t {
  int utf8_goodbytes;
  int utf8_cn_chars;
  int utf8_cn_simp_chars;
  int utf8_cn_trad_chars;
  int utf8_cn_hanzi_unq;
  int utf8_cn_simp_pure_chars;
  int utf8_cn_pure_chars;
  int utf8_jp_chars;
  int utf8_jp_hanzi;
  int utf8_jp_hanzi_unq;
  int utf8_latin_chars;
  int utf8_ascii;
  int utf8_ru_chars;
  int utf8_ko_chars;
  int utf8_cn_simp_title_chars;
  int utf8_cn_trad_title_chars;
  int utf8_jp_title_chars;
  int utf8_cn_jp_title_lang;
  int utf8_cn_simp_pure_title_chars;
  int utf8_jp_pure_title_chars;
  int utf8_cn_bigram;
  int utf8_jp_bigram;
};

// Statistics of one page. Confidences are on the scale 0..1023 (1023
// certain); -1 means "none".
struct _ccode_info_t {
  char content[1024];     // non-ASCII byte pairs taken from the page
  int content_len;
  char charset[129];      // declared charset, lower case
  int charset_codetype;
  int charset_confidence;
  bool frontpage_flag;
  bool computed_flag;
  int jis_flag_count;
  int bom_count;
  int twobyte_count;
  int real_count;
  int sole_count;
  _ref_info_t rinfo;
  _gbk_info_t ginfo;
  int big5_count;
  int big5_jp_count;
  int big5_bigram;
  int sjis_count;
  int sjis_bigram;
  int eucjp_count;
  int eucjp_bigram;
  int euckr_count;
  int euckr_bigram;
  int bigram_codetype;
  int bigram_confidence;
  _utf8_info_t uinfo;
  _utf8_info_t ucont_info;
  int page_length;
  int real_page_length;
  const char* url;  // the caller's arguments, not owned
  const char* page;
  const char* charset_out;
  const char* tree_content;
  int single_illegal[15];
  int charlen;
  int word_common[15];
  int word_unique[15];
  double word_freq[15];
  bool title_flag[15];
  double title_freq[15];
  char title[128];
  int title_lang;
  int title_seclang;
  bool title_multiflag;
  int word_num;
  int guess_lang;
  int guess_seclang;
  int max_lang;
  int max_confidence_lang;
  int thai_num;
  int w874_num;
  int arabic_title_num;
  int thai_title_num;
  int arabic_cont_num;
  int thai_cont_num;
  char url_suffix[64];
  char str_content[1024];
  // For the reuse of a computed record by URL: the URL the statistics were
  // computed for, kept when it has fewer than 1,024 bytes (url_kept), and
  // whether the word features were computed since.
  bool url_kept;
  char url_copy[1024];
  bool feature_flag;
};

// Resets the record: every count, length, flag and text 0 or empty, every
// pointer NULL, and the "none" fields (charset code type and confidence, the
// bigram fields, the guessed and title languages, ...) -1. NULL: nothing.
void ccode_info_clean(_ccode_info_t* info);

// The statistics pass over a NUL-terminated page, on a record just cleaned:
// stores the four pointers and the page length; sets frontpage_flag when the
// page begins with "vti_encoding" (any case); takes the declared charset (the
// HTTP charset when it has 1 to 128 characters, else find_charset over the
// page) and its code type; walks the page from its start collecting the
// bytes of non-ASCII pairs into content until 512 are collected (the walk
// needs two bytes, so the page's last byte is never taken), counting
// ISO-2022-JP escapes, UTF-8 byte-order marks and numeric character
// references on the way; classifies every pair under GBK, BIG5, Shift_JIS,
// EUC-JP and EUC-KR; copies the page title (a lower- or upper-case title
// element, at most 127 bytes) and counts its Chinese and Japanese
// characters; and counts the UTF-8 classes of content and of the main text
// content (when not NULL). 1, or -1 (logged) for a NULL info, page or url.
// The GBK character classes need the data loaded (ul_ccode_load.h); without
// it only the GB2312 hanzi count as simplified.
int ccode_info_compute(_ccode_info_t* info, const char* page, const char* url, const char* charset,
                       const char* content);
// The pass over a page already in GB18030 (*codetype must be CODETYPE_GB):
// no charset is read; the page is walked character by character as GB18030
// and its multi-byte characters (up to 515 bytes) are collected and
// classified by converting each to BIG5, Shift_JIS, EUC-JP and EUC-KR with
// the calling thread's converters. No title or UTF-8 classes. 1, or -1
// (logged) for NULL arguments or another code type.
int ccode_info_compute_gb(_ccode_info_t* info, const char* page, const char* url, int* codetype,
                          const char* content);

// Pair predicates on the two bytes at p (1 or 0): GBK; GB2312 hanzi (B0..F7,
// A1..FE); BIG5 (A1..F9, 40..7E or A1..FE); EUC-KR (A1..FE twice);
// Shift_JIS (81..9F, E0..EF, FA, FB; 40..7E or 80..FC); EUC-JP (8E with
// A1..DF, or A1..FE twice); GBK kana (A4 or A5, A1..F6); BIG5 kana (C6
// DB..FE, C7 40..7E or A1..FE). ul_is_gb18030_4bytes: the four bytes at p
// form a GB18030 four-byte code (0 for NULL).
int is_gbk(const unsigned char* p);
int is_gb(const unsigned char* p);
int is_big5(const unsigned char* p);
int is_euckr(const unsigned char* p);
int is_sjis(const unsigned char* p);
int is_eucjp(const unsigned char* p);
int is_gbk_jm(const unsigned char* p);
int is_big5_jp(const unsigned char* p);
int ul_is_gb18030_4bytes(const unsigned char* p);

// Classes of a GBK pair by the loaded character sets: simplified (every
// GB2312 hanzi, and the simplified set), traditional, pure simplified (and
// not a Japanese hanzi), Japanese hanzi, Japanese-only hanzi, and Chinese
// only (simplified and not a Japanese hanzi).
int is_gbk_simp(const unsigned char* p);
int is_gbk_trad(const unsigned char* p);
int is_gbk_simp_pure(const unsigned char* p);
int is_gbk_jp_hanzi(const unsigned char* p);
int is_gbk_jp_hanzi_unq(const unsigned char* p);
int is_gbk_cn_hanzi_unq(const unsigned char* p);

#endif  // UL_CCODE_INFO_H_
