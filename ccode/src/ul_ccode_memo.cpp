// Per-thread scratch memory of the string utilities.
//
// The string utilities that use scratch memory are not built yet: no keys
// are created and no thread is given a pool or a map, so there is nothing to
// free or delete.
#include "ul_ccode_memo.h"

int ul_ccode_memo_init() { return 0; }

int ul_ccode_memo_alloc() { return 0; }

int ul_ccode_memo_free() { return 0; }

void ul_ccode_memo_del() {}
