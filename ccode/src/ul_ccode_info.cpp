// Reset of the page-statistics record.
#include "ul_ccode_info.h"

#include <string.h>

void ccode_info_clean(_ccode_info_t* info) {
  if (info == nullptr) return;
  memset(info, 0, sizeof(*info));  // the pointers of the record become NULL too
  info->charset_codetype = -1;
  info->charset_confidence = -1;
  info->ginfo.gbk_bigram = -1;
  info->ginfo.gbkjp_bigram = -1;
  info->big5_bigram = -1;
  info->sjis_bigram = -1;
  info->eucjp_bigram = -1;
  info->euckr_bigram = -1;
  info->bigram_codetype = -1;
  info->bigram_confidence = -1;
  info->uinfo.utf8_cn_jp_title_lang = -1;
  info->uinfo.utf8_cn_bigram = -1;
  info->uinfo.utf8_jp_bigram = -1;
  info->guess_lang = -1;
  info->guess_seclang = -1;
  info->max_lang = -1;
  info->max_confidence_lang = -1;
  info->title_lang = -1;
  info->title_seclang = -1;
}
