// Fuzzes the package frame reader of memory (ul_pack_deserialization).
//
// Input layout: one byte giving the body room (x 4 bytes), then the bytes
// handed to the reader. An accepted frame must fit the input and the room,
// leave well-formed pairs, and make a frame that reads back the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pack_checks.h"
#include "support/scratch_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  packfuzz::QuietLog(testsupport::ProcessScratchDir().c_str());
  if (size < 1 || size > (1 << 20)) return 0;
  const int room = packfuzz::Room(data[0]);
  // An exactly sized copy: a read past the input is caught.
  std::vector<char> in(data + 1, data + size);
  packfuzz::Package pack(0, room);
  const int n = ul_pack_deserialization(in.empty() ? nullptr : in.data(), static_cast<int>(in.size()),
                                        pack.p);
  if (n < 0) return 0;
  if (static_cast<size_t>(n) > in.size() || pack.p->bufsize < 0 || pack.p->bufsize > room) abort();
  packfuzz::CheckPairs(pack.p);
  packfuzz::CheckRoundTrip(pack.p, pack.p->bufsize);
  return 0;
}
