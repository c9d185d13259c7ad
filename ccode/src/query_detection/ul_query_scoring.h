// The query-language scoring as the detection drives it: one (code type,
// language) pair scored with the word look-ups of one reading remembered.
#ifndef CCODE_SRC_UL_QUERY_SCORING_H_
#define CCODE_SRC_UL_QUERY_SCORING_H_

#include "ul_ccode_querylang.h"
#include "ul_query_key_index.h"

// ul_ccode_langtype_all, remembering word look-ups in memo (NULL: none).
// The caller resets memo whenever the text it passes changes.
int ul_ccode_langtype_memo(char* text, int code, int* eng, LANGFEATURESET* fs, CODELANG_VECTOR* info,
                           unsigned int& count, int mode, int* top, bool* flags, int lang, int start,
                           QueryKeyIndex::Memo* memo);

// Empties the first `keep` entries of info and every later one up to the
// first that is empty already. A list that only detection fills holds its
// filled entries first, so this leaves it all empty; for any list, what a
// detection reads (the entries it fills and the first `keep` it prints)
// starts empty.
void ClearCandidates(CODELANG_VECTOR* info, size_t keep);
// ul_ccode_gettoptrust for a list whose entries from n on are empty (as
// ClearCandidates leaves them): only the first n are ranked.
void RankCandidates(CODELANG_VECTOR* info, size_t n, int mode);

#endif  // CCODE_SRC_UL_QUERY_SCORING_H_
