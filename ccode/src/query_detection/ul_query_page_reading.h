// The UTF-8 reading of a query in a single-byte code page whose converter
// keeps no state between bytes (ISO-8859-1, WINDOWS-1256, ISO-8859-6,
// WINDOWS-874 and TIS-620): the reading of a text is then the readings of
// its bytes one after another, so each byte's is taken once from the
// converters (code page to GB18030, GB18030 to UTF-8) and kept in a table.
#ifndef CCODE_SRC_UL_QUERY_PAGE_READING_H_
#define CCODE_SRC_UL_QUERY_PAGE_READING_H_

#include <stddef.h>
#include <stdint.h>

class QueryPageReading {
 public:
  // The table of code type code, or NULL when code has none or a converter
  // refused to work when it was made (the caller converts as before). Made
  // on first use with the calling thread's converters (ul_ccode_conv_open);
  // never changes afterwards.
  static const QueryPageReading* Of(int code);

  // Writes the reading of the bytes of text up to its terminator to out
  // (terminated; 4 bytes a source byte and one more are enough): 0, or 1
  // when a byte has no reading (out then holds an unfinished text).
  int Read(const char* text, char* out) const;

  // Whether the table can be made for code.
  static bool Covers(int code);

 private:
  QueryPageReading() = default;
  bool Make(int code);

  uint8_t len_[256] = {};  // bytes of the reading, 0 for none
  char utf8_[256][4] = {};
};

#endif  // CCODE_SRC_UL_QUERY_PAGE_READING_H_
