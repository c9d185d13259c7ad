// Japanese fallback tables and their look-ups.
#include "ul_jcode_table.h"

#include <iconv.h>

#include "ul_iconv_loop.h"
#include "ul_log.h"

uint16_t unicode2sjis[kJcodeTableSize] = {0xFFFF, 0xFFFF};
uint16_t unicode2eucjp[kJcodeTableSize] = {0xFFFF, 0xFFFF};
const int MULTIP_10[10] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90};

namespace {

constexpr uint16_t kNone = 0xFFFD;

bool NotBuilt(const uint16_t* table) { return table[0] == 0xFFFF && table[1] == 0xFFFF; }

void Clear(uint16_t* table) {
  for (size_t i = 0; i < kJcodeTableSize; ++i) table[i] = 0;
}

// Converts a UCS-2 code point to GB18030 into out (2 or 4 bytes), or 0.
int UnicodeToGb(uint16_t cp, iconv_t cd, char* out) {
  if (cp == kNone || !IconvIsOpen(cd)) return 0;
  char in[2] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8)};
  char* ip = in;
  size_t inleft = 2;
  char* op = out;
  size_t outleft = 4;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &inleft, &op, &outleft) == static_cast<size_t>(-1) || inleft != 0) return 0;
  return static_cast<int>(4 - outleft);
}

// The vendor code of the GB18030 character at gb from table, or 0.
int VendorCode(const uint16_t* table, const char* gb, size_t avail, _gb2jp_t* gb2jp, char* out) {
  if (NotBuilt(table)) {
    ul_writelog(UL_LOG_WARNING, "have not init jcode transfer!\n");
    return 0;
  }
  if (avail < 2 || gb2jp == nullptr || !IconvIsOpen(gb2jp->gb2unicode)) return 0;
  const unsigned char lead = static_cast<unsigned char>(gb[0]);
  const unsigned char next = static_cast<unsigned char>(gb[1]);
  size_t len;
  if (lead > 0x80 && next > 0x3F) len = 2;
  else if (lead >= 0x81) len = 4;
  else return 0;
  if (len > avail) return 0;
  char* ip = const_cast<char*>(gb);
  size_t inleft = len;
  unsigned char ucs[2];
  char* op = reinterpret_cast<char*>(ucs);
  size_t outleft = 2;
  iconv(gb2jp->gb2unicode, nullptr, nullptr, nullptr, nullptr);
  if (iconv(gb2jp->gb2unicode, &ip, &inleft, &op, &outleft) == static_cast<size_t>(-1) || inleft != 0 ||
      outleft != 0) {
    return 0;
  }
  const uint16_t cp = static_cast<uint16_t>(ucs[0] | (ucs[1] << 8));
  if (cp == kNone || table[cp] == 0) return 0;
  out[0] = static_cast<char>(table[cp] >> 8);
  out[1] = static_cast<char>(table[cp] & 0xFF);
  return static_cast<int>(len);
}

}  // namespace

int ul_jcode_transfer_init() {
  if (NotBuilt(unicode2eucjp)) {
    Clear(unicode2eucjp);
    for (int i = 0; i < 384; ++i) {
      if (eucjp_row89_92[i] != kNone) {
        unicode2eucjp[eucjp_row89_92[i]] = static_cast<uint16_t>((0xF9 + i / 96) * 256 + 0xA0 + i % 96);
      }
    }
    for (int i = 0; i < 93; ++i) {
      if (eucjp_row_13[i] != kNone) unicode2eucjp[eucjp_row_13[i]] = static_cast<uint16_t>(0xADA0 + i);
    }
  }
  if (NotBuilt(unicode2sjis)) {
    Clear(unicode2sjis);
    for (int i = 0; i < 384; ++i) {
      if (sjis_row89_92[i] != kNone) {
        unicode2sjis[sjis_row89_92[i]] = static_cast<uint16_t>(i < 192 ? 0xED40 + i : 0xEE40 + (i - 192));
      }
    }
    for (int i = 0; i < 93; ++i) {
      if (sjis_row_13[i] != kNone) unicode2sjis[sjis_row_13[i]] = static_cast<uint16_t>(0x8740 + i);
    }
    for (int i = 0; i < 400; ++i) {
      const uint16_t cp = sjis_fa[i];
      if (cp == kNone || unicode2sjis[cp] != 0) continue;
      unicode2sjis[cp] = static_cast<uint16_t>(i < 192 ? 0xFA40 + i : i < 384 ? 0xFB40 + (i - 192) : 0xFC40 + (i - 384));
    }
  }
  return 0;
}

int find_sjis(unsigned char lead, unsigned char trail, _jp2gb_t* jp2gb, char* out) {
  if (jp2gb == nullptr || trail < 0x40) return 0;
  uint16_t cp = kNone;
  if (lead == 0x87 && trail <= 0x9C) cp = sjis_row_13[trail - 0x40];
  else if (lead == 0xED) cp = sjis_row89_92[trail - 0x40];
  else if (lead == 0xEE) cp = sjis_row89_92[trail - 0x40 + 192];
  else if (lead == 0xFA) cp = sjis_fa[trail - 0x40];
  else if (lead == 0xFB) cp = sjis_fa[trail - 0x40 + 192];
  else if (lead == 0xFC && trail <= 0x4F) cp = sjis_fa[trail - 0x40 + 384];
  return UnicodeToGb(cp, jp2gb->unicode2gb, out);
}

int find_eucjp(unsigned char lead, unsigned char trail, _jp2gb_t* jp2gb, char* out) {
  if (jp2gb == nullptr || trail < 0xA0) return 0;
  uint16_t cp = kNone;
  if (lead == 0xAD && trail <= 0xFC) cp = eucjp_row_13[trail - 0xA0];
  else if (lead >= 0xF9 && lead <= 0xFC) cp = eucjp_row89_92[(lead - 0xF9) * 96 + trail - 0xA0];
  return UnicodeToGb(cp, jp2gb->unicode2gb, out);
}

int get_sjis4gb(const char* gb, size_t avail, _gb2jp_t* gb2jp, char* out) {
  return VendorCode(unicode2sjis, gb, avail, gb2jp, out);
}

int get_eucjp4gb(const char* gb, size_t avail, _gb2jp_t* gb2jp, char* out) {
  return VendorCode(unicode2eucjp, gb, avail, gb2jp, out);
}
