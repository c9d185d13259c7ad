// Per-thread scratch memory of the string utilities: a memory pool and a
// hash map per thread, reached through two thread keys that the per-thread
// state (ul_ccode_conv.h) creates, fills and deletes alongside its own.
#ifndef CCODE_SRC_UL_CCODE_MEMO_H_
#define CCODE_SRC_UL_CCODE_MEMO_H_

// Creates the two keys once; 0, or -1 (logged).
int ul_ccode_memo_init();
// Gives the calling thread its pool and map; 0, or -1 (logged).
int ul_ccode_memo_alloc();
// Frees the calling thread's pool and map; 0.
int ul_ccode_memo_free();
// Deletes the keys that exist.
void ul_ccode_memo_del();

#endif  // CCODE_SRC_UL_CCODE_MEMO_H_
