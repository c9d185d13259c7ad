// Query-language candidates: one record per (code type, language) reading
// of a query that the query-language scoring rates.
#ifndef UL_CCODE_QUERYLANG_H_
#define UL_CCODE_QUERYLANG_H_

// One candidate. code_type and lang_type 255 mark an empty entry; a trust of
// INT_MIN means "not computed" (or, for TRUST, "excluded").
struct _CODELANG_INFO {
  char code_type;  // _CODE_T of the reading
  char lang_type;  // _LANG_T
  int trigram_trust;
  int words_trust;
  int TRUST;
};

#endif  // UL_CCODE_QUERYLANG_H_
