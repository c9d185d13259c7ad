// Query code-type detection data.
//
// The query detector and its tables are not built yet: loading only proves
// that both required frequency files open (the load must still fail for a
// missing one); the override file is optional and there is nothing to free.
#include "ul_query_data.h"

#include "toolkit/file.h"
#include "ul_ccode_data.h"
#include "ul_func.h"

int LoadQueryUnigramData(const char* path, const char* gbkfile, const char* utf8file) {
  if (path == nullptr || gbkfile == nullptr || utf8file == nullptr) return -1;
  for (const char* name : {utf8file, gbkfile}) {
    toolkit::UniqueFile fp(ccode_data_open(path, name), ul_fclose);
    if (!fp.ok()) return -1;
  }
  return 1;
}

int load_query_detect_config(const char* path, const char* file) { return -1; }

void DestroyQueryUnigramData() {}

void destroy_query_detect_config() {}
