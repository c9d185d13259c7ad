// Helpers shared by the build-side and search-side dictionaries.
#ifndef DICT_SRC_DB_INTERNAL_H_
#define DICT_SRC_DB_INTERNAL_H_

#include <sys/types.h>

namespace dict_internal {

// Bucket of a signature: (sign1 + sign2) with 32-bit wrap, modulo the count.
inline u_int Bucket(u_int sign1, u_int sign2, int hash_num) {
  return (sign1 + sign2) % static_cast<u_int>(hash_num);
}

}  // namespace dict_internal

#endif  // DICT_SRC_DB_INTERNAL_H_
