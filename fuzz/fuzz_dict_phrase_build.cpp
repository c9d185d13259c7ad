// Fuzz target for dp_build over arbitrary source texts, then dp_load and the
// look-ups over the same bytes.
//
// Input: the source text. Inputs of 2,048 bytes or more are skipped: a token
// over 2,047 bytes ends the process by design.
// Every token of 3..2,047 bytes (up to the first NUL) must be found by
// dp_search as itself when the text is that token alone.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dict_fuzz.h"
#include "ul_dict.h"

namespace {

using dictfuzz::Dir;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet();
  (void)ready;
  if (size >= 2048) return 0;
  dictfuzz::Put("src", data, size);
  const char* dir = Dir().c_str();
  if (dp_build(dir, "src", "p") != 0) __builtin_trap();
  Sdict_phrase* dp = dp_load(dir, "p");
  if (dp == nullptr) __builtin_trap();
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  // Each position yields at most every stored phrase once (phrase bytes and
  // a blank each, at most the source's size + 1).
  const size_t bound = (text.size() + 1) * (size + 2) + 1;
  char* out = dictfuzz::OutBuffer(bound);
  dp_seek(dp, text.c_str(), out);
  dp_search(dp, text.c_str(), out);
  for (size_t i = 0; i < text.size();) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t j = i;
    while (j < text.size() && !IsBlank(text[j])) ++j;
    if (j - i >= 3) {
      const std::string tok = text.substr(i, j - i);
      if (dp_search(dp, tok.c_str(), out) != 1 || tok != out) __builtin_trap();
    }
    i = j;
  }
  dp_del(dp);
  return 0;
}
