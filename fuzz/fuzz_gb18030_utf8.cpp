// Fuzzes the GB18030 -> UTF-8 conversion by table, which must give the
// bytes and count of the platform converter run through the converter loop
// (and UTF-8 -> GB18030 on the result), and the GB18030 table conversions to
// BIG5 and GBI with the default data loaded. The first two bytes choose the
// destination size; destinations are exactly sized heap blocks, so a write
// past the size shows under AddressSanitizer. Every result must lie within
// its size and end in a NUL, and its count of bytes not converted must lie
// within the text.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ul_ccode_iconv.h"
#include "ul_iconv_loop.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_jcode.h"

namespace {

struct Setup {
  void* to_utf8 = nullptr;
  void* to_gb = nullptr;
  iconv_t reference = iconv_open("UTF-8", "GB18030");
  Setup() {
    if (reference == reinterpret_cast<iconv_t>(-1)) abort();
    if (ul_gb18030_utf8_open(&to_utf8, &to_gb) != 0) abort();
    if (ul_ccode_load(ul_ccode_default_path(), 1) != 0 || ul_ccode_conv_open() != 0) abort();
  }
};

typedef int (*iconv_str_t)(const char*, char*, int, void**);

// Converts text into exactly size bytes; returns the output.
std::string Iconv(iconv_str_t f, const std::string& text, int size, void* cd) {
  std::unique_ptr<char[]> out(new char[static_cast<size_t>(size)]);
  const int r = f(text.c_str(), out.get(), size, &cd);
  if (text.empty()) {
    if (r != -1) abort();
    return std::string();
  }
  const size_t n = strnlen(out.get(), static_cast<size_t>(size));
  if (r < 0 || static_cast<size_t>(r) > text.size() || n >= static_cast<size_t>(size)) abort();
  return std::string(out.get(), n);
}

// A table conversion into text.size() + 1 bytes: the output never grows.
void Table(int (*f)(const unsigned char*, unsigned char*, int), const std::string& text) {
  std::unique_ptr<unsigned char[]> out(new unsigned char[text.size() + 1]);
  if (f(reinterpret_cast<const unsigned char*>(text.c_str()), out.get(), 0) < 0) abort();
  if (strlen(reinterpret_cast<char*>(out.get())) > text.size()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 2) return 0;
  const int room = (data[0] << 8 | data[1]) % 4096 + 1;
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  text.resize(strlen(text.c_str()));

  const std::string cut = Iconv(ul_gb18030_utf8_str, text, room, setup.to_utf8);
  if (!text.empty()) {
    std::unique_ptr<char[]> ref(new char[static_cast<size_t>(room)]);
    const IconvOutcome o = RunIconvLoop(static_cast<iconv_t>(setup.reference), text.c_str(), text.size(), ref.get(),
                                        static_cast<size_t>(room), 0, 3, GbCharBlanks);
    void* cd = setup.to_utf8;
    std::unique_ptr<char[]> out(new char[static_cast<size_t>(room)]);
    if (ul_gb18030_utf8_str(text.c_str(), out.get(), room, &cd) != o.blanked + static_cast<int>(o.left)) abort();
    if (cut != ref.get()) abort();
  }
  const std::string utf8 = Iconv(ul_gb18030_utf8_str, text, static_cast<int>(text.size() * 4 + 1), setup.to_utf8);
  if (!utf8.empty()) Iconv(ul_utf8_gb18030_str, utf8, room, setup.to_gb);
  Iconv(ul_utf8_gb18030_str, text, room, setup.to_gb);

  // The same text through the thread's converters and the code-type entry.
  std::unique_ptr<char[]> out(new char[static_cast<size_t>(room)]);
  if (ul_gb_utf8_str(text.c_str(), out.get(), room) > static_cast<int>(text.size())) abort();
  if (ul_ccode_from_gb18030(text.c_str(), out.get(), room, CODETYPE_BIG5) > static_cast<int>(text.size())) abort();
  if (strnlen(out.get(), static_cast<size_t>(room)) >= static_cast<size_t>(room)) abort();

  Table(ul_gb18030_big5, text);
  Table(ul_big5_gb18030, text);
  Table(ul_gb18030_gbi_str, text);
  Table(ul_gbi_gb18030_str, text);
  return 0;
}
