// Fuzzes the query text utilities: the three Vietnamese conversions into an
// output of the size the first byte picks (its end guarded by the sanitizer)
// and the Chinese-query test, over text that ends right after its NUL.
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "support/scratch_dir.h"
#include "ul_ccode_queryutil.h"
#include "ul_log.h"

namespace {

struct Setup {
  Setup() {
    ul_logstat_t quiet = {0, 0, 0};
    ul_openlog(testsupport::ProcessScratchDir().c_str(), "fuzz", &quiet, 1);
  }
  ~Setup() { ul_closelog(0); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  const int outlen = 1 + data[0] % 48;
  std::unique_ptr<unsigned char[]> in(new unsigned char[size]);
  memcpy(in.get(), data + 1, size - 1);
  in[size - 1] = '\0';
  std::unique_ptr<unsigned char[]> out(new unsigned char[static_cast<size_t>(outlen)]);
  for (int (*fn)(unsigned char*, int, unsigned char*) :
       {ul_ccode_vilow2capital, ul_ccode_vicaital2low, ul_ccode_vitone2notone}) {
    fn(out.get(), outlen, in.get());
    if (memchr(out.get(), '\0', static_cast<size_t>(outlen)) == nullptr) __builtin_trap();
  }
  is_chinese_query(reinterpret_cast<const char*>(in.get()));
  unsigned int packed;
  unsigned char cp[8];
  unsigned int v = 0;
  memcpy(&v, data, size < 4 ? size : 4);
  ul_ccode_unicodetoutf8(v, cp, &packed);
  return 0;
}
