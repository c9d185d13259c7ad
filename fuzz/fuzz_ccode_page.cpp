// Fuzzes the page analysis over arbitrary page and URL bytes, with and
// without an HTTP charset: the declared charset, the statistics (both
// passes), the code-type decision and the word features, on the data
// directory that comes with the library. The input's first byte is a mode
// (bit 0: pass an HTTP charset, bit 1: pass a main text); the rest is cut at
// its NUL bytes into the page, the url, the charset and the main text.
// Checks the record's limits after every pass.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ul_ccode_charset.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_feature.h"
#include "ul_ccode_info.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"

namespace {

struct Setup {
  Setup() {
    if (ul_ccode_load(ul_ccode_default_path(), 0) != 0 || ul_ccode_conv_open() != 0) abort();
  }
};

void CheckRecord(const _ccode_info_t& info) {
  if (info.content_len < 0 || info.content_len > 515 || info.content[info.content_len] != '\0') abort();
  if (strlen(info.charset) > 128 || strlen(info.title) > 127) abort();
  if (info.twobyte_count * 2 > info.content_len) abort();
  if (info.real_count > info.twobyte_count || info.sole_count > info.twobyte_count) abort();
  if (info.charset_codetype < -1 || info.charset_codetype >= CODETYPE_END) abort();
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
  const char* content = (mode & 2) ? parts[3].c_str() : nullptr;

  char found[129];
  find_charset(page.c_str(), found, sizeof(found));
  if (strlen(found) > 20) abort();
  int code = 0, confidence = 0;
  charset2codetype(found, &code, &confidence);
  if (confidence != 1023 && confidence != 511) abort();

  int detected = -3;
  if (ul_ccode_detect_codetype(page.c_str(), url.c_str(), charset, content, &detected) != 1) abort();
  if (detected < -1 || detected >= CODETYPE_END) abort();
  _ccode_info_t* info = get_ccode_info();
  CheckRecord(*info);
  if (info->bigram_confidence < -1 || info->bigram_confidence > 1023) abort();
  if (ccode_feature_compute(info, page.c_str(), url.c_str()) != 0) abort();
  if (strlen(info->str_content) > 1023 || strlen(info->url_suffix) > 63) abort();

  ccode_info_clean(info);
  int gb = CODETYPE_GB;
  if (ccode_info_compute_gb(info, page.c_str(), url.c_str(), &gb, content) != 1) abort();
  CheckRecord(*info);
  ccode_detect_codetype(info);
  return 0;
}
