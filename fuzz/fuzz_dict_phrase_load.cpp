// Fuzz target for dp_load over hostile phrase files, then dp_seek and
// dp_search over a text.
//
// Input: [1 byte flags][1 byte k][k x (3 bytes bucket, 4 bytes off, 4 bytes
//        num)][1 byte text length][text][the rest: NAME.ind2]
// NAME.ind1 is 100,001 zero records with the k given ones set (flags 1: cut
// by one record; 2: no NAME.ind1; 4: no NAME.ind2). Whatever the records
// claim, no look-up may read outside the loaded files.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "dict_fuzz.h"
#include "ul_dict.h"

namespace {

constexpr uint32_t kBuckets = 100001;  // records of NAME.ind1

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet();
  (void)ready;
  dictfuzz::Reader in(data, size);
  const uint32_t flags = in.Num(1);
  std::string ind1(8 * kBuckets, '\0');
  for (uint32_t k = in.Num(1); k > 0; --k) {
    const uint32_t bucket = in.Num(3) % kBuckets;
    const uint32_t rec[2] = {in.Num(4), in.Num(4)};
    std::memcpy(&ind1[8 * bucket], rec, 8);
  }
  const std::string text = in.Section(1);
  const std::string ind2 = in.Rest();
  const std::string dir = dictfuzz::Dir();
  unlink((dir + "/p.ind1").c_str());
  unlink((dir + "/p.ind2").c_str());
  if (!(flags & 2)) dictfuzz::Put("p.ind1", flags & 1 ? ind1.substr(8) : ind1);
  if (!(flags & 4)) dictfuzz::Put("p.ind2", ind2);
  Sdict_phrase* dp = dp_load(dir.c_str(), "p");
  if (dp == nullptr) __builtin_trap();
  // Each position yields at most every phrase of the file once.
  const std::string t(text.c_str());
  char* out = dictfuzz::OutBuffer((t.size() + 1) * (ind2.size() + 2) + 1);
  dp_seek(dp, t.c_str(), out);
  dp_search(dp, t.c_str(), out);
  dp_del(dp);
  return 0;
}
