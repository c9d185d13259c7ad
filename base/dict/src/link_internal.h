// The weight table of the posting-list dictionary, for db_stand_link and its
// tests.
#ifndef DICT_SRC_LINK_INTERNAL_H_
#define DICT_SRC_LINK_INTERNAL_H_

#include <sys/types.h>

namespace dict_internal {

constexpr int kLinkTableSize = 400000;

// T[0] = 0; T[j+1] = T[j] + 1 while T[j]^3 < 625 (j + 1), else T[j]: about
// the cube root of 625 j. kLinkTableSize entries, built on first use.
const u_int* LinkWeightTable();

}  // namespace dict_internal

#endif  // DICT_SRC_LINK_INTERNAL_H_
