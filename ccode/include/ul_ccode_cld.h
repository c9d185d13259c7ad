// The external language identifier (CLD2) behind the page language
// detection: a page of any code type is brought to UTF-8 in the calling
// thread's two text buffers (ul_ccode_conv.h) and handed to CLD2 as HTML;
// when that names no language, the page's meta description is tried as
// plain text. ul_cld_lang.h maps the answers to the library's languages.
//
// Each call uses only the calling thread's buffers and converters, so any
// number of threads that opened their state may call at once.
#ifndef UL_CCODE_CLD_H_
#define UL_CCODE_CLD_H_

#include <cld2/internal/generated_language.h>

#include "ul_ccode_type.h"

// The CLD2 language of the NUL-terminated text of code type codetype;
// UNKNOWN_LANGUAGE (26) when CLD2 names none, at once for CODETYPE_UNKNOWN,
// and on every failure: a NULL text ("buffer should not be NULL in func
// cldBaseLangDet."), a thread without its state ("get BUF err in func
// cldBaseLangDet."), a failed conversion ("convert2utf8 fail in func
// cldBaseLangDet."), all logged FATAL. A page longer than the buffers is cut
// (at a character boundary). When the page as HTML gives 26, the text after
// the first 'escription" content="' (or 'ESCRIPTION" CONTENT="') up to the
// next '"' is tried as plain text, when that quote exists and the
// description is shorter than 4,095 bytes. Text of CODETYPE_NONE, GB or GBK
// is read as GB18030; when its bytes are not that code (more than one byte
// of no GB18030 character per 100 multi-byte characters, as a single-byte
// code page gives) the answer is 26: CLD2 would read made-up characters.
CLD2::Language cldBaseLangDet(const char* text, _CODE_T codetype);

// The summary language CLD2 gives the NUL-terminated UTF-8 text (as plain
// text or as HTML), with no hints and no flags.
CLD2::Language cldLangDet(const char* utf8, bool is_plain_text);

// Converts the NUL-terminated text of code type codetype to UTF-8 in
// utf8buf (size bytes with the terminator), through GB18030 in gbbuf (size
// bytes). CODETYPE_UNKNOWN text is copied as it is, cut to size - 1 bytes.
// 0, or -1 (logged FATAL "trans2gb18030 fail in func convert2utf8." or
// "trans2utf8 fail in func convert2utf8.") when a conversion fails. Bytes
// that do not convert become blanks.
int convert2utf8(const char* text, char* gbbuf, char* utf8buf, int size, int codetype);

// Diagnostics of CLD2 experiments, used by no operation of the library:
// when flags has bit 0x200, write the head or the foot of an HTML page to
// standard error.
void InitHtmlOut(int flags);
void FinishHtmlOut(int flags);

#endif  // UL_CCODE_CLD_H_
