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
};

// Resets the record: every count, length, flag and text 0 or empty, every
// pointer NULL, and the "none" fields (charset code type and confidence, the
// bigram fields, the guessed and title languages, ...) -1. NULL: nothing.
void ccode_info_clean(_ccode_info_t* info);

#endif  // UL_CCODE_INFO_H_
