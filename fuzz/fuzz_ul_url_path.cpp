// Fuzzes the path passes in place: single-path passes in buffers of their
// documented size, the length-bounded pass in a buffer of exactly its
// length, blank escaping within exact limits, and dot segments. Dot segments
// are a fixed point, and so is the path normal form (pass, then dot segments).
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ul_url.h"
#include "ul_url_fuzz.h"

using urlfuzz::Buf;
using urlfuzz::Check;

namespace {

size_t AtLeast(size_t want, const std::string& s) { return s.size() + 1 > want ? s.size() + 1 : want; }

std::string Dots(void (*fn)(char*), const std::string& path) {
  Buf buf(path.size() + 1, path);
  fn(buf);
  return buf.str();
}

// The path normal form of the base tier: "" when the pass fails.
std::string PathNormal(const std::string& path) {
  Buf buf(AtLeast(256, path), path);
  if (ul_single_path_nointer(buf, 0) != 1) return "";
  if (buf[0] == '/') ul_normalize_path(buf);
  return buf.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t sel = data[0];
  const std::string text = urlfuzz::Text(data + 1, size - 1);
  const std::string path = text.empty() || text[0] != '/' ? "/" + text : text;

  {
    Buf b(AtLeast(256, text), text);
    ul_single_path(b);
    Buf e(AtLeast(800, text), text);
    ul_single_path_ex(e);
    Buf e2(AtLeast(1600, text), text);
    ul_single_path_ex2(e2);
    Buf n(AtLeast(800, text), text);
    ul_single_path_ex_nointer(n, sel * 4, sel & 1);
    Buf n2(AtLeast(1600, text), text);
    ul_single_path_ex2_nointer(n2, sel * 8, sel & 1);
  }
  // The bounded pass never writes past len bytes.
  const size_t len = 1 + sel;
  if (text.size() < len) {
    Buf b(len, text);
    if (ul_single_path_ex2_nointer_special_for_ps_20110221(b, len) == 1) Check(strlen(b) < len);
  }
  if (text.size() < len) {
    Buf b(len, text);
    if (ul_space_escape_path(b, len) == 1) Check(strchr(b, ' ') == nullptr);
    Buf u(len, text);
    ul_space_escape(u, len, sel % 64, sel);
    Buf u2(len, text);
    ul_space_escape_ex2(u2, len, sel % 32, sel / 2);
  }

  const std::string once = Dots(ul_normalize_path, path);
  Check(Dots(ul_normalize_path, once) == once);
  if (path.size() < 1024) Check(Dots(ul_normalize_path_ex, path) == once);
  if (path.size() < 2048) Check(Dots(ul_normalize_path_ex2, path) == once);
  const std::string vh = Dots(ul_normalize_path_vhplink, path);
  Check(vh[0] == '/');
  Dots(replace_slash, text);

  const std::string form = PathNormal(path);
  if (!form.empty()) {
    Check(urlfuzz::HasStackedEscape(path) || PathNormal(form) == form);
  }
  return 0;
}
