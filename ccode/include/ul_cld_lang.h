// Mapping of the external language identifier's (CLD2) language numbers to
// the library's languages (_LANG_T).
#ifndef UL_CLD_LANG_H_
#define UL_CLD_LANG_H_

#include <cld2/internal/generated_language.h>

#include "ul_ccode_type.h"

// The language of the same name (CHINESE gives SIMP_CHINESE, CHINESE_T
// TRAD_CHINESE, SLOVENIAN SLOVENE, SINHALESE SINHALA, ZULU ISIZULU), or
// LANGTYPE_NONE for a CLD2 language without one and for numbers outside
// 0..160.
_LANG_T transCldLang2CcodeLang(CLD2::Language lang);

// Whether a CLD2 answer in this language is taken: false for the languages
// the library decides itself (ENGLISH, JAPANESE, CHINESE, THAI, ARABIC,
// CHINESE_T), for unmapped languages and for numbers outside 0..160.
bool useCldResultByCldLang(CLD2::Language lang);

// 1 when some CLD2 language whose answer is taken maps to lang, else 0.
int useCldResultByCcodeLang(_LANG_T lang);

#endif  // UL_CLD_LANG_H_
