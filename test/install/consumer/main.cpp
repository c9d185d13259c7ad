// A program built against an installed copy of the libraries: it includes
// headers by their plain names from several libraries (every installed
// header comes in through all_headers.h, which the test generates) and calls
// into ul, dict and pbdict.
#include <cstdio>
#include <cstring>

#include "all_headers.h"
#include "hash.h"
#include "ul_log.h"
#include "ul_sign.h"

int main() {
  if (ul_writelog(UL_LOG_NOTICE, "installed consumer runs") != 0) return 1;
  u_int sign1 = 0, sign2 = 0;
  // Up to four bytes go into sign1 as they are, little-endian.
  if (creat_sign_fs64("abc", 3, &sign1, &sign2) != 1 || sign1 != 0x636261u || sign2 != 0) {
    return 2;
  }
  kavo::pbdict::hash_table_t* table = kavo::pbdict::hash_init_table(10);
  uint32_t value = 0;
  const bool found = table != nullptr && kavo::pbdict::hash_insert_node(table, "key", 7) == 0 &&
                     kavo::pbdict::hash_search(table, "key", &value) == 1 && value == 7;
  kavo::pbdict::hash_release(table);
  if (!found) return 3;
  std::printf("consumer ok\n");
  return 0;
}
