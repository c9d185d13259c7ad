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

// Writes the table's "ht" bytes to a stream positioned at its start (the
// stream must be seekable). 0, or -1 on a failed allocation or write; the
// stream is neither flushed nor closed.
int hash_binary_write(const hash_table_t* ht, FILE* fp);

// hash_binary_load() of a file already open in reader, read from its start:
// the same table or null. The keys are checked on up to `parts` threads.
hash_table_t* hash_binary_read(FileReader* reader, int parts);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_HASH_BINARY_H_
