// Multi-language values and language sets.
//
// A multi-language value (signed 64-bit) carries up to four languages with
// confidences: -1 is no language; 0..84 is one language with no confidence;
// otherwise its eight bytes, least significant first, are language 1,
// confidence 1, language 2, confidence 2, ... A language byte is 0..84, a
// confidence 1..100; a pair outside these ends the list. 85..255 are not
// valid values, and GLOBAL (85) cannot be carried.
//
// A language set (_LangType) is a bit set of the languages 0..85, with set
// operations and a compatibility test in which GLOBAL matches everything.
#ifndef UL_LANGTYPE_H_
#define UL_LANGTYPE_H_

#include <stdint.h>

#include "ul_ccode_type.h"

struct _LangType {
  uint64_t langmark;       // bit l: language l, 0..63
  uint64_t langmark_high;  // bit l - 64: language l, 64..85 (bit 21 is GLOBAL)
};

// Unpacks value into langs (n entries, all first set to -1) and confs (may be
// NULL; first set to 0). which is a _LANG_V2_INDEX: V2_MAINLANG ..
// V2_FOURTHLANG write the pair at that position into entry 0; V2_ALL (n >= 4)
// writes the valid pairs from the first on, stopping at the first invalid
// one. Returns the number of languages written; -1 (logged) for a value
// below -1, NULL langs, n < 1, which outside 1..5 or V2_ALL with n < 4, and
// for the values 85..255 when which is V2_MAINLANG or V2_ALL. The value -1
// gives 1 (langs[0] is -1).
int ul_ccode_langtype_v2(long long value, int* langs, int* confs, int n, int which);

// Every operation below logs "input illegal in <its name>" and returns -1 for
// a NULL argument or a language outside its range.

// Empties the set; 0.
int ul_langtype_clean(_LangType* set);
// 1 when empty, 0 when not.
int ul_langtype_isclean(const _LangType* set);
// The set becomes exactly {lang}; -1 empties it. Languages -1..85; 0.
int ul_langtype_set(_LangType* set, int lang);
// Adds / removes one language 0..85; 0.
int ul_langtype_add(_LangType* set, int lang);
int ul_langtype_unset(_LangType* set, int lang);
// The same three with a language name (ul_getlangtype); an unknown name is
// refused and the set left as it was.
int ul_langtype_set(_LangType* set, const char* name);
int ul_langtype_add(_LangType* set, const char* name);
int ul_langtype_unset(_LangType* set, const char* name);
// Writes the set's languages in ascending order, at most n; the count.
int ul_langtype_get(const _LangType* set, int* out, int n);
// 1 when both sets hold the same languages, else 0.
int ul_langtype_equal(const _LangType* a, const _LangType* b);
// 1 when the set holds GLOBAL or lang, else 0.
int ul_langtype_compatible(const _LangType* set, int lang);
// 1 when the set holds GLOBAL or every one of the n languages (an entry
// outside 0..85 gives 0), else 0.
int ul_langtype_compatible(const _LangType* set, const int* langs, int n);
// 1 when the set holds GLOBAL or every language of other, else 0.
int ul_langtype_compatible(const _LangType* set, const _LangType* other);
// Number of languages in the set.
int ul_langtype_num(const _LangType* set);

#endif  // UL_LANGTYPE_H_
