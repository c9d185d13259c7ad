// Fuzzes the three GBK foldings over arbitrary text, with the built-in
// foldings and with maps taken from the input. Each result must be the same
// in place as into a separate buffer and never longer than the text;
// lower-casing never changes the length.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ul_transch.h"

namespace {

void Check(void (*fold)(const char*, char*), const std::string& text, bool same_length) {
  const size_t size = text.size() + 1;  // with its NUL (the text may hold NULs)
  std::unique_ptr<char[]> apart(new char[size]);
  fold(text.c_str(), apart.get());
  std::unique_ptr<char[]> in_place(new char[size]);
  memcpy(in_place.get(), text.c_str(), size);
  fold(in_place.get(), in_place.get());
  const size_t len = strlen(apart.get());
  if (strcmp(apart.get(), in_place.get()) != 0) abort();
  if (len > strlen(text.c_str())) abort();
  if (same_length && len != strlen(text.c_str())) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Check(ul_trans2lower, text, true);
  Check(ul_trans2bj, text, false);
  Check(ul_trans2bj_ext, text, false);

  // The first 96 bytes, when there are that many, serve as both loaded maps.
  if (size >= 96) {
    unsigned char map[96];
    memcpy(map, data, sizeof(map));
    map_for_bj = map;
    map_for_bj_ext = map;
    Check(ul_trans2bj, text.substr(96), false);
    Check(ul_trans2bj_ext, text.substr(96), false);
    map_for_bj = nullptr;
    map_for_bj_ext = nullptr;
  }
  return 0;
}
