// The CLD2 wrapper.
#include "ul_ccode_cld.h"

#include <stdio.h>
#include <string.h>

#include <string_view>

// The CLD2 header uses FILE without including <stdio.h> itself.
#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include "ul_ccode_conv.h"
#include "ul_ccode_iconv.h"
#include "ul_gb18030.h"
#include "ul_log.h"

namespace {

constexpr size_t kDescriptionSize = 4096;
constexpr std::string_view kMarker = "escription\" content=\"";
constexpr std::string_view kMarkerUpper = "ESCRIPTION\" CONTENT=\"";
constexpr int kHtmlFlag = 0x200;

// The description of a meta tag in the UTF-8 text: the text after the
// marker up to the next '"', or empty when there is no marker, no closing
// quote or the description has 4,095 bytes or more.
std::string_view Description(std::string_view text) {
  size_t at = text.find(kMarker);
  if (at == std::string_view::npos) at = text.find(kMarkerUpper);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = text.substr(at + kMarker.size());
  const size_t quote = rest.find('"');
  if (quote == std::string_view::npos || quote >= kDescriptionSize - 1) return {};
  return rest.substr(0, quote);
}

// Whether the bytes of text read as GB18030 are that code: at most one byte
// sequence of no GB18030 class per 100 multi-byte characters (a stray byte
// in a long page), not counting a character cut by the end of the text.
// Bytes of a single-byte code page fail: a letter 80..FF before a blank or
// a punctuation mark forms no GB18030 character.
bool ReadsAsGb18030(const char* text) {
  long long wide = 0;
  long long invalid = 0;
  for (const char* p = text; *p != '\0';) {
    const int n = ul_next_gb18030(p);
    if (n > 0) {
      if (n > 1) ++wide;
      p += n;
      continue;
    }
    if (strnlen(p, 4) < 4) break;
    ++invalid;
    ++p;
  }
  return invalid * 100 <= wide;
}

// The code types whose bytes the conversion takes as they stand and reads
// as GB18030.
bool ReadAsGb18030(int codetype) {
  return codetype == CODETYPE_NONE || codetype == CODETYPE_GB || codetype == CODETYPE_GBK;
}

}  // namespace

CLD2::Language cldLangDet(const char* utf8, bool is_plain_text) {
  if (utf8 == nullptr) return CLD2::UNKNOWN_LANGUAGE;
  const CLD2::CLDHints hints = {nullptr, "", CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
  CLD2::Language language3[3];
  int percent3[3];
  double normalized_score3[3];
  int text_bytes = 0;
  bool is_reliable = false;
  return CLD2::ExtDetectLanguageSummary(utf8, static_cast<int>(strlen(utf8)), is_plain_text, &hints, 0, language3,
                                        percent3, normalized_score3, nullptr, &text_bytes, &is_reliable);
}

int convert2utf8(const char* text, char* gbbuf, char* utf8buf, int size, int codetype) {
  if (text == nullptr || gbbuf == nullptr || utf8buf == nullptr || size < 2) return -1;
  if (codetype == CODETYPE_UNKNOWN) {
    const size_t n = strnlen(text, static_cast<size_t>(size) - 1);
    memmove(utf8buf, text, n);
    utf8buf[n] = '\0';
    return 0;
  }
  if (ul_ccode_to_gb18030(text, gbbuf, size - 1, codetype) == -1) {
    ul_writelog(UL_LOG_FATAL, "trans2gb18030 fail in func %s.", "convert2utf8");
    return -1;
  }
  if (ul_ccode_from_gb18030_str(gbbuf, utf8buf, size - 1, CODETYPE_UTF8) == -1) {
    ul_writelog(UL_LOG_FATAL, "trans2utf8 fail in func %s.", "convert2utf8");
    return -1;
  }
  return 0;
}

CLD2::Language cldBaseLangDet(const char* text, _CODE_T codetype) {
  if (text == nullptr) {
    ul_writelog(UL_LOG_FATAL, "buffer should not be NULL in func %s.", "cldBaseLangDet");
    return CLD2::UNKNOWN_LANGUAGE;
  }
  if (codetype == CODETYPE_UNKNOWN) return CLD2::UNKNOWN_LANGUAGE;
  char* gbbuf = get_ccode_gbbuf_cld();
  char* utf8buf = get_ccode_utf8buf_cld();
  if (gbbuf == nullptr || utf8buf == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get BUF err in func %s.", "cldBaseLangDet");
    return CLD2::UNKNOWN_LANGUAGE;
  }
  gbbuf[0] = '\0';
  utf8buf[0] = '\0';
  if (convert2utf8(text, gbbuf, utf8buf, CCODE_CLD_BUF_LEN, codetype) != 0) {
    ul_writelog(UL_LOG_FATAL, "convert2utf8 fail in func %s.", "cldBaseLangDet");
    return CLD2::UNKNOWN_LANGUAGE;
  }
  // CLD2 shown the conversion of bytes that are not of the code they were
  // taken for reads the characters that conversion made up (Chinese for a
  // Russian page taken as GB18030): no answer is better than that one.
  if (ReadAsGb18030(codetype) && !ReadsAsGb18030(text)) return CLD2::UNKNOWN_LANGUAGE;
  CLD2::Language language = cldLangDet(utf8buf, false);
  if (language == CLD2::UNKNOWN_LANGUAGE) {
    const std::string_view description = Description(utf8buf);
    if (!description.empty()) {
      char plain[kDescriptionSize];
      memcpy(plain, description.data(), description.size());
      plain[description.size()] = '\0';
      language = cldLangDet(plain, true);
    }
  }
  return language;
}

void InitHtmlOut(int flags) {
  if ((flags & kHtmlFlag) == 0) return;
  fprintf(stderr, "<html><meta charset=\"UTF-8\"><body>\n");
  fprintf(stderr, "<style media=\"print\" type=\"text/css\"> :root { -webkit-print-color-adjust: exact; } </style>\n");
  fprintf(stderr, "<span style=\"font-size: 7pt\">\n");
  fprintf(stderr, "file = %s<br>\n", "cld2_unittest");
}

void FinishHtmlOut(int flags) {
  if ((flags & kHtmlFlag) == 0) return;
  fprintf(stderr, "\n</span></body></html>\n");
}
