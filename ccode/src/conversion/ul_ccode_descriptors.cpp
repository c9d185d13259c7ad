// The per-thread descriptor record: opening and closing the platform
// converters of every code type that converts through GB18030. Which
// converters there are, and where each sits in the record, comes from the
// table of code types (ul_codetype_table.h).
#include "ul_ccode_conv.h"

#include <iconv.h>

#include <initializer_list>

#include "ul_ccode_type.h"
#include "ul_codetype_table.h"
#include "ul_log.h"

namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);


constexpr const char* kGb = "GB18030";

// Opens one descriptor; false when the converter refuses.
bool OpenOne(iconv_t* cd, const char* to, const char* from) {
  *cd = iconv_open(to, from);
  return *cd != kClosed;
}

void CloseOne(iconv_t* cd) {
  if (*cd != kClosed) iconv_close(*cd);
  *cd = kClosed;
}

struct GroupEntry {
  iconv_t* cd;
  const char* to;
  const char* from;
};

// Opens a group's descriptors in order; on the first failure logs the
// group's message and closes what it opened.
int OpenGroup(std::initializer_list<GroupEntry> group, const char* message) {
  for (const GroupEntry& e : group) *e.cd = kClosed;
  for (const GroupEntry& e : group) {
    if (!OpenOne(e.cd, e.to, e.from)) {
      ul_writelog(UL_LOG_FATAL, "%s", message);
      for (const GroupEntry& c : group) CloseOne(c.cd);
      return -1;
    }
  }
  return 0;
}

void CloseGroup(std::initializer_list<iconv_t*> group) {
  for (iconv_t* cd : group) CloseOne(cd);
}

// A group entry of a code type's descriptor towards GB18030, and of the one
// from it.
GroupEntry ToGb(_ccode_conv_t* c, int codetype) {
  const CodeTypeRow& row = *ccode_codetype_row(codetype);
  return {ccode_conv_slot(c, row.to_gb), kGb, row.iconv_name};
}

GroupEntry FromGb(_ccode_conv_t* c, int codetype) {
  const CodeTypeRow& row = *ccode_codetype_row(codetype);
  return {ccode_conv_slot(c, row.from_gb), row.iconv_name, kGb};
}

}  // namespace

void ccode_conv_clean(_ccode_conv_t* conv) {
  if (conv == nullptr) return;
  iconv_t* all = reinterpret_cast<iconv_t*>(conv);
  for (size_t i = 0; i < sizeof(*conv) / sizeof(iconv_t); ++i) all[i] = kClosed;
}

int ul_jp2gb_open(_ccode_conv_t* c) {
  _jp2gb_t& g = c->jp2gb;
  return OpenGroup({{&g.unicode2gb, kGb, "UNICODELITTLE"},
                    ToGb(c, CODETYPE_UTF8),
                    ToGb(c, CODETYPE_JIS),
                    ToGb(c, CODETYPE_SJIS),
                    ToGb(c, CODETYPE_EUCJP)},
                   "jp2gb iconv open error!\n");
}

int ul_gb2jp_open(_ccode_conv_t* c) {
  _gb2jp_t& g = c->gb2jp;
  return OpenGroup({{&g.gb2unicode, "UNICODELITTLE", kGb},
                    FromGb(c, CODETYPE_UTF8),
                    FromGb(c, CODETYPE_JIS),
                    FromGb(c, CODETYPE_SJIS),
                    FromGb(c, CODETYPE_EUCJP)},
                   "gb2jp iconv open error!\n");
}

int ul_tr2gb_open(_ccode_conv_t* c) {
  return OpenGroup({ToGb(c, CODETYPE_ISO_8859_1), ToGb(c, CODETYPE_WIN1254)},
                   "tr2gb iconv open error!\n");
}

int ul_gb2tr_open(_ccode_conv_t* c) {
  return OpenGroup({FromGb(c, CODETYPE_ISO_8859_1), FromGb(c, CODETYPE_WIN1254)},
                   "gb2tr iconv open error!\n");
}

int ul_jp2gb_close(_ccode_conv_t* c) {
  _jp2gb_t& g = c->jp2gb;
  CloseGroup({&g.unicode2gb, &g.utf82gb, &g.jis2gb, &g.sjis2gb, &g.eucjp2gb});
  return 0;
}

int ul_gb2jp_close(_ccode_conv_t* c) {
  _gb2jp_t& g = c->gb2jp;
  CloseGroup({&g.gb2unicode, &g.gb2utf8, &g.gb2jis, &g.gb2sjis, &g.gb2eucjp});
  return 0;
}

int ul_tr2gb_close(_ccode_conv_t* c) {
  CloseGroup({&c->tr2gb.iso12gb, &c->tr2gb.win12542gb});
  return 0;
}

int ul_gb2tr_close(_ccode_conv_t* c) {
  CloseGroup({&c->gb2tr.gb2iso1, &c->gb2tr.gb2win1254});
  return 0;
}

int ul_ccode_conv_open(_ccode_conv_t* conv) {
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in 'ul_ccode_conv_open'.");
    return -1;
  }
  ccode_conv_clean(conv);
  bool ok = ul_jp2gb_open(conv) == 0 && ul_gb2jp_open(conv) == 0 && ul_tr2gb_open(conv) == 0 &&
            ul_gb2tr_open(conv) == 0;
  for (size_t i = 0; ok && i < kCodeTypeRowCount; ++i) {
    const CodeTypeRow& row = kCodeTypeRows[i];
    if (!row.opened_alone) continue;
    ok = OpenOne(ccode_conv_slot(conv, row.to_gb), kGb, row.iconv_name) &&
         OpenOne(ccode_conv_slot(conv, row.from_gb), row.iconv_name, kGb);
  }
  if (!ok) {
    ul_ccode_conv_close(conv);
    return -1;
  }
  return 0;
}

int ul_ccode_conv_close(_ccode_conv_t* conv) {
  if (conv == nullptr) return 0;
  iconv_t* all = reinterpret_cast<iconv_t*>(conv);
  for (size_t i = 0; i < sizeof(*conv) / sizeof(iconv_t); ++i) CloseOne(&all[i]);
  return 0;
}
