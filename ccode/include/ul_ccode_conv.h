// Per-thread conversion state of the character-code library.
//
// iconv descriptors are not safe to share between threads, and several
// detectors need large scratch areas, so every thread that uses the library
// gets its own state through thread-specific keys: a record of 34 open
// converter descriptors, a page-statistics record, a language slot, a list of
// query candidates, two text buffers of CCODE_CLD_BUF_LEN bytes and scratch
// memory.
//
// The keys are created by ul_ccode_load (or ul_ccode_conv_init alone) before
// any thread opens its state, and deleted by ul_ccode_del after every thread
// has closed it. Each thread calls ul_ccode_conv_open() before its first
// conversion and ul_ccode_conv_close() when done; a thread that ends without
// closing has its state released by the keys' destructors. Every function
// that needs the thread's state and finds none logs "get ccode conv error!"
// and answers -1.
#ifndef UL_CCODE_CONV_H_
#define UL_CCODE_CONV_H_

#include <iconv.h>

#include <vector>

#include "ul_ccode_info.h"
#include "ul_ccode_querylang.h"

// Bytes of each of the two per-thread text buffers (10 MiB).
#define CCODE_CLD_BUF_LEN 0xA00000

// Descriptors to "GB18030". A descriptor equal to (iconv_t)-1 is closed.
struct _jp2gb_t {
  iconv_t unicode2gb;  // from "UNICODELITTLE"
  iconv_t utf82gb;     // from "UTF-8"
  iconv_t jis2gb;      // from "ISO-2022-JP"
  iconv_t sjis2gb;     // from "SHIFT_JIS"
  iconv_t eucjp2gb;    // from "EUC-JP"
};

// Descriptors from "GB18030".
struct _gb2jp_t {
  iconv_t gb2unicode;  // to "UNICODELITTLE"
  iconv_t gb2utf8;     // to "UTF-8"
  iconv_t gb2jis;      // to "ISO-2022-JP"
  iconv_t gb2sjis;     // to "SHIFT_JIS"
  iconv_t gb2eucjp;    // to "EUC-JP"
};

struct _tr2gb_t {
  iconv_t iso12gb;     // "ISO_8859-1" to "GB18030"
  iconv_t win12542gb;  // "WINDOWS-1254" to "GB18030"
};

struct _gb2tr_t {
  iconv_t gb2iso1;     // "GB18030" to "ISO_8859-1"
  iconv_t gb2win1254;  // "GB18030" to "WINDOWS-1254"
};

// All 34 descriptors of a thread. A name ending in "_gb" converts to
// "GB18030", one beginning with "gb_" converts from it.
struct _ccode_conv_t {
  _jp2gb_t jp2gb;
  _gb2jp_t gb2jp;
  _tr2gb_t tr2gb;
  _gb2tr_t gb2tr;
  iconv_t win1256_gb, gb_win1256;  // "WINDOWS-1256"
  iconv_t iso6_gb, gb_iso6;        // "ISO_8859-6"
  iconv_t win874_gb, gb_win874;    // "WINDOWS-874"
  iconv_t iso11_gb, gb_iso11;      // "ISO-8859-11"
  iconv_t viscii_gb, gb_viscii;    // "VISCII"
  iconv_t win1258_gb, gb_win1258;  // "WINDOWS-1258"
  iconv_t gb_win1251, win1251_gb;  // "WINDOWS-1251"
  iconv_t iso7_gb, gb_iso7;        // "ISO-8859-7"
  iconv_t gb_win1255, win1255_gb;  // "WINDOWS-1255"
  iconv_t euckr_gb, gb_euckr;      // "EUC-KR"
};

// Keys ---------------------------------------------------------------------

// Creates the thread keys (conv, info, lang, query_lang, gbbuf_cld,
// utf8buf_cld, then the scratch-memory keys), each only once. 0, or -1 after
// "pthread create key error!". Runs single-threaded, before any thread opens
// its state.
int ul_ccode_conv_init();
// Deletes the keys that exist (conv, lang, info, query_lang, the scratch
// keys, gbbuf_cld, utf8buf_cld). Runs single-threaded, after every thread
// has closed its state.
void ul_ccode_conv_del();
// Deletes the info key alone.
void ul_ccode_info_del();

// The calling thread's state ----------------------------------------------

// Gives the calling thread its state. 0 when it already has any part of it
// (nothing changes), 0 when all is made, -1 (nothing left behind) when an
// allocation, a descriptor or a key fails, or when the keys do not exist.
int ul_ccode_conv_open();
// Releases the calling thread's state; harmless without one. Always 0.
int ul_ccode_conv_close();
// Frees the thread's page-statistics record and clears its key; 0.
int ul_ccode_info_close();

// The thread's values, NULL when the thread has none (or the keys do not
// exist). The setters store a value under its key: 0, or -1.
_ccode_conv_t* get_ccode_conv();
int set_ccode_conv(_ccode_conv_t* conv);
_ccode_info_t* get_ccode_info();
int set_ccode_info(_ccode_info_t* info);
int* get_ccode_lang();
int set_ccode_lang(int* lang);
std::vector<_CODELANG_INFO>* get_ccode_query_lang();
int set_ccode_query_lang(std::vector<_CODELANG_INFO>* list);
char* get_ccode_gbbuf_cld();  // CCODE_CLD_BUF_LEN bytes, GB18030 side
int set_ccode_gbbuf_cld(char* buf);
char* get_ccode_utf8buf_cld();  // CCODE_CLD_BUF_LEN bytes, UTF-8 side
int set_ccode_utf8buf_cld(char* buf);

// Caller-owned descriptor records ------------------------------------------

// Opens all 34 descriptors of conv: 0, or -1 with every descriptor closed.
// NULL: logged, -1.
int ul_ccode_conv_open(_ccode_conv_t* conv);
// Closes every open descriptor and marks all 34 closed; always 0.
int ul_ccode_conv_close(_ccode_conv_t* conv);
// One group each: open its descriptors in field order (0, or -1 after
// "<group> iconv open error!" with the group closed), or close them (0).
int ul_jp2gb_open(_ccode_conv_t* conv);
int ul_gb2jp_open(_ccode_conv_t* conv);
int ul_tr2gb_open(_ccode_conv_t* conv);
int ul_gb2tr_open(_ccode_conv_t* conv);
int ul_jp2gb_close(_ccode_conv_t* conv);
int ul_gb2jp_close(_ccode_conv_t* conv);
int ul_tr2gb_close(_ccode_conv_t* conv);
int ul_gb2tr_close(_ccode_conv_t* conv);
// Marks all 34 descriptors closed without closing them.
void ccode_conv_clean(_ccode_conv_t* conv);

// Query candidates ----------------------------------------------------------

// Appends 33 x 86 empty candidates (code and language 0, every trust
// INT_MIN); 1. NULL: logged, 0.
int ul_ccode_query_detect_open(std::vector<_CODELANG_INFO>* list);
// Empties the list and releases its storage; 1.
int ul_ccode_query_detect_close(std::vector<_CODELANG_INFO>* list);

// Text buffers: empty (first byte NUL); 1, or 0 for NULL.
int ul_gbbuf_cld_clean(char* buf);
int ul_utf8buf_cld_clean(char* buf);

// Default code type and global language ------------------------------------

// The process-wide default code type (initially CODETYPE_GB): stores code
// -1..32 and answers 0; another code logs "wrong codetype input!", -1. One
// plain int without a lock: set it before worker threads start.
int ul_set_globalcode(int code);
int ul_get_globalcode();
// The calling thread's global language: stores lang -1..85 (0); -1 when the
// thread has no state; another lang logs "wrong langtype input!", -1.
int ul_set_globallang(int lang);
// The thread's global language, -1 right after ul_ccode_conv_open(), -2 when
// the thread has no state.
int ul_get_globallang();
// Sets the thread's global language from the decimal text of a multi-language
// value (ul_langtype.h) and a position 1..4 in it; 0 or -1 (logged).
int ul_set_globallang(const char* text, int which);

#endif  // UL_CCODE_CONV_H_
