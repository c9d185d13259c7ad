// The "ht" file's bytes, written to and read from open files, for the binary
// dictionary, which writes its two files side by side and replaces both at
// the end, and checks the key table against the values it indexes.
#ifndef PBDICT_HASH_BINARY_H_
#define PBDICT_HASH_BINARY_H_

#include <cstdio>

#include "hash.h"

namespace kavo {
namespace pbdict {

class FileReader;

// hash_binary_write's result when memory ran out.
constexpr int kHashOutOfMemory = -2;

// Writes the table's "ht" bytes to a stream positioned at its start (the
// stream must be seekable). 0, kHashOutOfMemory, or -1 on a failed write;
// the stream is neither flushed nor closed.
int hash_binary_write(const hash_table_t* ht, FILE* fp);

// hash_binary_load() of a file already open in reader, read from its start:
// the same table or null. The keys are checked on up to `parts` threads.
// *out_of_memory (when given) tells whether memory running out made it null.
hash_table_t* hash_binary_read(FileReader* reader, int parts, bool* out_of_memory = nullptr);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_HASH_BINARY_H_
