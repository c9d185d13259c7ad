// What the extended page detection (ul_ccode_langdet.cpp) takes from the
// language rules of each code type (defined in ul_ccode_langrules.cpp).
#ifndef CCODE_SRC_UL_CCODE_LANGDET_PARTS_H_
#define CCODE_SRC_UL_CCODE_LANGDET_PARTS_H_

#include "ul_ccode_detect.h"
#include "ul_ccode_info.h"

// Sets the main (and for some code types the secondary) language of the
// page in info, whose code type is code, into lt, and its confidences into
// lang_conf (kCcodeLangConfLen ints, by language). A code type without rules gives
// no language.
void ccode_langs_by_codetype(_ccode_info_t* info, int code, int* lang_conf, _langtype_t* lt);

#endif  // CCODE_SRC_UL_CCODE_LANGDET_PARTS_H_
