// Fuzzes the base64 decoder over arbitrary text. The buffer function decodes
// into a heap block of exactly the size it promises to need, so a write past
// it is caught; a text it accepts decodes the same after one re-encoding; a
// refused text leaves the output untouched; and the bytes themselves come
// back whole from an encode/decode round trip.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  std::unique_ptr<char[]> exact(new char[size / 4 * 3]);
  const size_t n = modp_b64_decode(exact.get(), bytes.data(), size);

  std::string out = "keep";
  const bool ok = base::Base64Decode(bytes, &out);
  if (ok != (n != MODP_B64_ERROR)) abort();
  if (ok) {
    if (out.size() != n || out.compare(0, n, exact.get(), n) != 0) abort();
    std::string text, back;
    base::Base64Encode(out, &text);
    if (!base::Base64Decode(text, &back) || back != out) abort();
  } else if (out != "keep") {
    abort();
  }

  std::string text, back;
  base::Base64Encode(bytes, &text);
  if (text.size() != (size + 2) / 3 * 4) abort();
  if (!base::Base64Decode(text, &back) || back != bytes) abort();
  return 0;
}
