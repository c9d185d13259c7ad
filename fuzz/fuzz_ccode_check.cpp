// Fuzzes the frequency-table charset detector and the older text code
// checks over arbitrary bytes, title and URL, on the data directory that
// comes with the library. The input's first byte is the earlier code type
// of the content check (its value % 7 - 2); the rest is cut at its NUL bytes
// into the text, the title, the url and the content. The scorers and the
// garbling score read exactly sized copies. Checks every result and rule
// number against its documented range.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ul_ccode_check.h"
#include "ul_ccode_load.h"
#include "ul_charset_detect.h"

namespace {

struct Setup {
  Setup() {
    if (ul_ccode_load(ul_ccode_default_path(), 0) != 0) abort();
  }
};

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  const int old = size == 0 ? -1 : data[0] % 7 - 2;
  std::vector<std::string> parts(4);
  size_t part = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && part + 1 < parts.size()) {
      ++part;
    } else {
      parts[part].push_back(static_cast<char>(data[i]));
    }
  }
  std::string& text = parts[0];
  const std::vector<unsigned char> exact(text.begin(), text.end());
  const unsigned char* bytes = exact.empty() ? nullptr : exact.data();
  const int len = static_cast<int>(exact.size());
  if (bytes != nullptr) {
    Check(l_detect.gbk_probability(bytes, len) >= 0 && l_detect.big5_probability(bytes, len) >= 0);
    const int u = l_detect.utf8_probability(bytes, len);
    Check((u >= 0 && u <= 100) || u == 1000 || u == -1000);
    std::vector<char> gb(text.begin(), text.end());
    const double messy = ul_ccode_gb_messy(gb.data(), len);
    Check(messy >= -2.0 && messy <= 3.0);
  }
  int confidence = -7;
  const int g = l_detect.guess(reinterpret_cast<const unsigned char*>(text.c_str()), confidence);
  Check(g >= -1 && g <= 2 && (g == -1 ? confidence == -7 : confidence >= 0));

  static const std::set<int> kRules = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
  int rule = 0;
  const int code = ul_ccode_check_notetype(&text[0], &rule);
  Check(code >= -1 && code <= 3 && kRules.count(rule) == 1);
  const int real = ul_ccode_check_realtext(text.c_str());
  Check(real >= -1 && real <= 3);

  static const std::set<int> kContentRules = {101, 102, 103, 104, 105, 106, 107, 108, 109};
  const char* url = parts[2].empty() && old == 4 ? nullptr : parts[2].c_str();
  const int content = ul_ccode_check_content_notetype(parts[1].c_str(), parts[3].c_str(), url, old, &rule);
  Check(kContentRules.count(rule) == 1 && (content == old || (content >= -1 && content <= 3)));
  char out[16];
  const int n = gbk2gbi(parts[3].c_str(), out, sizeof(out));
  Check(n <= 15 && (n < 0 || out[n] == '\0'));
  return 0;
}
