// Pieces that the page language detection and its extended form share.
#ifndef CCODE_SRC_UL_CCODE_DETECT_PARTS_H_
#define CCODE_SRC_UL_CCODE_DETECT_PARTS_H_

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

#endif  // CCODE_SRC_UL_CCODE_DETECT_PARTS_H_
