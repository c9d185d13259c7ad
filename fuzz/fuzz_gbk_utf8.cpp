// Fuzzes the table conversion GBK -> UTF-8 (and UTF-8 -> GBK on the same
// bytes) over arbitrary text. The first two bytes choose the destination
// size; destinations are exactly sized heap blocks, so a write past the size
// shows under AddressSanitizer. Every result must lie within its size, end
// in its NUL and hold no other NUL; GBK read back from the UTF-8 is never
// longer than the text, and code units never outnumber the text's bytes.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ul_gbk.h"

namespace {

// Runs f into a block of exactly size bytes; aborts on a broken contract.
std::string Into(int (*f)(char*, int, const char*), const std::string& text, int size, int floor) {
  std::unique_ptr<char[]> out(new char[static_cast<size_t>(size)]);
  const int n = f(out.get(), size, text.c_str());
  if (size < floor) {
    if (n != -1) abort();
    return std::string();
  }
  if (n < 0 || n >= size || out[n] != '\0') abort();
  if (memchr(out.get(), '\0', static_cast<size_t>(n)) != nullptr) abort();
  return std::string(out.get(), static_cast<size_t>(n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int room = (data[0] << 8 | data[1]) % 4096 + 1;
  // The text up to its first NUL, as the functions read it.
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  text.resize(strlen(text.c_str()));
  const int len = static_cast<int>(text.size());

  const int floor = len / 2 * 3 + 1;
  Into(ul_gbk_to_utf8, text, room, floor);
  const std::string utf8 = Into(ul_gbk_to_utf8, text, len * 3 + 1, floor);
  const std::string back = Into(ul_utf8_to_gbk, utf8, static_cast<int>(utf8.size()) + 1, 0);
  if (back.size() > text.size()) abort();
  Into(ul_utf8_to_gbk, text, room, len + 1);

  // Code units with sizes of their own.
  std::unique_ptr<uint16_t[]> units(new uint16_t[static_cast<size_t>(room)]);
  const int got = gbk_to_unicode(units.get(), room, text.data(), len);
  if (got < 0 || got > room || got > len) abort();
  std::unique_ptr<char[]> gbk(new char[static_cast<size_t>(room)]);
  if (unicode_to_gbk(gbk.get(), room, units.get(), got, 0xA1A1) > room) abort();
  std::unique_ptr<char[]> u8(new char[static_cast<size_t>(room)]);
  const int w = unicode_to_utf8(u8.get(), room, units.get(), got);
  if (w < 0 || w >= room || u8[w] != '\0') abort();
  return 0;
}
