// Traditional/simplified look-up of one character.
#include <string.h>

#include <string>

#include "ul_ccode_data.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_log.h"

namespace {
const char kName[] = "ul_ccode_trad_simp";
}  // namespace

int ul_ccode_trad_simp(const char* in, int inlen, char* out, int outlen, int codetype, int flag) {
  if (in == nullptr || out == nullptr || inlen < 1 || outlen < 1 || codetype < 0 || codetype >= CODETYPE_END) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s!", kName);
    return -1;
  }
  const ccode_transmap_t* map = nullptr;
  if (flag == CCODE_TRAD2SIMP) {
    map = &l_trad2simp;
  } else if (flag == CCODE_SIMP2TRAD) {
    map = &l_simp2trad;
  } else {
    ul_writelog(UL_LOG_FATAL, "invalid trans flag in %s!", kName);
    return -1;
  }
  if (map->size() == 0) {
    ul_writelog(UL_LOG_FATAL, "please use ul_ccode_load");
    return -1;
  }
  out[0] = '\0';
  if (in[0] == '\0' || (codetype != CODETYPE_GB && codetype != CODETYPE_GBK && codetype != CODETYPE_UTF8 &&
                        codetype != CODETYPE_BIG5)) {
    return 0;
  }
  const int n = ul_ccode_nextn(in, inlen, codetype);
  if (n == 0) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s!", kName);
    return -1;
  }
  // The first character alone (at most 4 bytes) and its GB18030 form (at
  // most 4 bytes: every conversion here keeps or shrinks a character).
  char ch[8] = {0};
  char gb[16] = {0};
  memcpy(ch, in, static_cast<size_t>(n));
  if (codetype == CODETYPE_BIG5) {
    if (ul_big5_gb18030_str(reinterpret_cast<const unsigned char*>(ch), reinterpret_cast<unsigned char*>(gb), 0) < 0) {
      ul_writelog(UL_LOG_WARNING, "conv from big5 to gb fail in %s!", kName);
      return -1;
    }
  } else if (codetype == CODETYPE_UTF8) {
    if (ul_utf8_gb18030_str(ch, gb, sizeof(gb)) < 0) {
      ul_writelog(UL_LOG_WARNING, "conv from utf8 to gb fail in %s!", kName);
      return -1;
    }
  } else {
    memcpy(gb, ch, static_cast<size_t>(n));
  }
  const auto* found = map->find(std::string(gb));
  if (found == nullptr) return 0;
  // Copy the mapped text character by character while it fits.
  const std::string& value = found->second;
  const char* p = value.c_str();
  int written = 0, multi = 0;
  while (*p != '\0') {
    const int len = ul_ccode_is_next_gb(p);
    if (len == 0 || written + len > outlen - 1) break;
    memcpy(out + written, p, static_cast<size_t>(len));
    written += len;
    if (len > 1) ++multi;
    p += len;
  }
  out[written] = '\0';
  return multi;
}
