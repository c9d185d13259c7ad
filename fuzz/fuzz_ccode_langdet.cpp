// Fuzzes the page detection entry points over arbitrary page, URL and
// charset bytes, on the data directory that comes with the library:
// ul_ccode_detect, ul_ccode_page_detect (the page with itself as main text
// and page text, and a title), ul_ccode_chardet and ul_ccode_langdet (with
// the code type detected, and preset from the input). The input's first
// byte is a mode (bit 0: pass the charset; bits 1-6: a preset code type);
// the rest is cut at its NUL bytes into the page, the url, the charset and
// the title. Checks that every answer is in its range.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ul_ccode_conv.h"
#include "ul_ccode_detect.h"
#include "ul_ccode_langdet.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_langtype.h"
#include "ul_log.h"

namespace {

struct Setup {
  Setup() {
    if (ul_ccode_load(ul_ccode_default_path(), 0) != 0 || ul_ccode_conv_open() != 0) abort();
  }
};

void CheckCode(int code) {
  if (code < -1 || code >= CODETYPE_END) abort();
}
void CheckLang(int lang) {
  if (lang < -1 || lang >= LANGTYPE_END) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  const int mode = size == 0 ? 0 : data[0];
  std::vector<std::string> parts(4);
  size_t part = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && part + 1 < parts.size()) {
      ++part;
    } else {
      parts[part].push_back(static_cast<char>(data[i]));
    }
  }
  const std::string& page = parts[0];
  const std::string& url = parts[1];
  const char* charset = (mode & 1) ? parts[2].c_str() : nullptr;
  const std::string& title = parts[3];

  int code = -3, lang = -3, trust[kCcodeTrustLen];
  if (ul_ccode_detect(page.c_str(), url.c_str(), charset, nullptr, &code, &lang, trust) != 1) abort();
  CheckCode(code);
  CheckLang(lang);

  const _ccode_page_info_t info = {page.c_str(), page.c_str(), page.c_str(), title.c_str(),
                                   static_cast<int>(page.size()), static_cast<int>(page.size()),
                                   static_cast<int>(page.size()), static_cast<int>(title.size())};
  if (ul_ccode_page_detect(&info, url.c_str(), charset, nullptr, &code, &lang, nullptr) != 1) abort();
  CheckCode(code);
  CheckLang(lang);

  _langtype_t lt;
  reset_langtype(&lt);
  if (ul_ccode_chardet(page.c_str(), url.c_str(), charset, nullptr, &code, &lt) != 0) abort();
  CheckCode(code);

  for (int preset : {static_cast<int>(CODETYPE_UNKNOWN), (mode >> 1) - 1}) {
    int c = preset;
    long long value = 0;
    int conf[kCcodeLangConfLen];
    const int r = ul_ccode_langdet(page.c_str(), url.c_str(), charset, nullptr, &c, &value, conf);
    if (r != 0 && !(r == -1 && preset > CODETYPE_WIN1255)) abort();
    if (r != 0) continue;
    int langs[4], confs[4];
    if (ul_ccode_langtype_v2(value, langs, confs, 4, V2_ALL) < 1 && value != -1) abort();
    for (int l = 0; l < kCcodeLangConfLen; ++l) {
      if (conf[l] < 0 || conf[l] > 100) abort();
    }
  }
  return 0;
}
