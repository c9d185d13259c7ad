// Special words of the GBK/BIG5 -> GBI conversion.
//
// The special-word tables and the converters that consult them are not built
// yet: loading only proves that both files open (the load must still fail
// for a missing one), and there is nothing to adjust or free.
#include "ul_special_word.h"

#include "toolkit/file.h"
#include "ul_ccode_data.h"
#include "ul_func.h"

int special_word_load(const char* path) {
  for (const char* name : {"code/gbk.special", "code/big5.special"}) {
    toolkit::UniqueFile fp(ccode_data_open(path, name), ul_fclose);
    if (!fp.ok()) return 0;
  }
  return 1;
}

void modify_map() {}

void special_word_destroy() {}
