// Fuzzes query detection over arbitrary query bytes: the code-type
// detection with the query's own length and with a length past its NUL (the
// buffer ends right after the NUL, so a read past it shows under
// AddressSanitizer), and the language detection into a package with the
// hint the first byte picks.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "support/scratch_dir.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_querydetect.h"
#include "ul_ccode_querylang.h"
#include "ul_log.h"
#include "ul_pack.h"

namespace {

struct Setup {
  ul_package* pkg = nullptr;
  Setup() {
    ul_logstat_t quiet = {0, 0, 0};
    ul_openlog(testsupport::ProcessScratchDir().c_str(), "fuzz", &quiet, 1);
    if (ul_ccode_load(ul_ccode_default_path(), 6) != 0 || ul_ccode_conv_open() != 0) abort();
    pkg = ul_pack_init();
  }
  ~Setup() {
    ul_pack_free(pkg);
    ul_ccode_conv_close();
    ul_ccode_del();
    ul_closelog(0);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  const int hint = data[0] % 35 - 2;  // -2..32
  std::vector<char> query(data + 1, data + size);
  query.push_back('\0');
  std::unique_ptr<char[]> exact(new char[query.size()]);
  memcpy(exact.get(), query.data(), query.size());
  ul_ccode_query_detect(exact.get());
  ul_ccode_query_detect(exact.get(), static_cast<int>(query.size()) + 7);
  int out[42];
  ul_pack_cleanall(setup.pkg);
  ul_ccode_query_detect(reinterpret_cast<unsigned char*>(exact.get()), setup.pkg, out, 3 + data[0] % 40, hint);
  char dst[64];
  ul_ucs2_gbk_str(exact.get(), static_cast<int>(strlen(exact.get())), dst, 1 + data[0] % 64);
  return 0;
}
