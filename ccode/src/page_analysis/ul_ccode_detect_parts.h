// Pieces that the page language detection and its extended form share.
#ifndef CCODE_SRC_UL_CCODE_DETECT_PARTS_H_
#define CCODE_SRC_UL_CCODE_DETECT_PARTS_H_

#include "ul_ccode_detect.h"
#include "ul_ccode_info.h"

// True when the data was loaded for page detection (or not at all); else
// logs the load-flag message and answers false.
bool ccode_page_load_ok();

// True when info holds the computed statistics of url's page (compared with
// the record's own copy of the URL).
bool ccode_info_holds(const _ccode_info_t* info, const char* url);

// Six times the page length (the page language rules' real_page_length),
// held to INT_MAX.
int ccode_real_page_length(int page_length);

// The multi-language value of lt with the confidences by language in
// lang_conf (86 ints): the main language alone, or the secondary alone, with
// 100 (lang_conf set to match); both with their confidences (a 0 counted as
// 1), the larger with the main (lang_conf swapped to match); -1 for none.
long long ccode_pack_langs(const _langtype_t& lt, int* lang_conf);

#endif  // CCODE_SRC_UL_CCODE_DETECT_PARTS_H_
