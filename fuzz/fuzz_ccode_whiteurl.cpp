// Fuzzes the white-URL list readers: the input is written as a list file and
// read by both loaders; its first line's first field is then looked up in
// both lists, and so is the URL of every line, checking that what a list
// answers is a code type and languages it can hold.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ul_ccode_type.h"
#include "ul_whiteurl.h"

namespace {

struct Folder {
  std::string path;
  Folder() {
    char name[] = "/tmp/fuzz-whiteurl-XXXXXX";
    if (mkdtemp(name) == nullptr) abort();
    path = name;
  }
  ~Folder() {
    unlink((path + "/list.txt").c_str());
    rmdir(path.c_str());
  }
};

void Check(int code, int main, int sec) {
  if (code < -1 || code >= CODETYPE_END || main < -1 || main >= LANGTYPE_END || sec < -1 || sec >= LANGTYPE_END) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Folder folder;
  const std::string file = folder.path + "/list.txt";
  FILE* fp = fopen(file.c_str(), "wb");
  if (fp == nullptr || fwrite(data, 1, size, fp) != size || fclose(fp) != 0) abort();
  whiteUrl_dict = ul_whiteUrl_load(folder.path.c_str(), "list.txt");
  i18n_whiteUrl_dict = ul_i18n_whiteUrl_load(folder.path.c_str(), "list.txt");
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::string url = line.substr(0, line.find_first_of(" \t\r\v\f"));
    int code = 0, main = 0, sec = -1;
    if (ccode_is_whiteUrl(url.c_str(), &code, &main) == 1) Check(code, main, sec);
    if (ccode_is_i18n_whiteUrl(url.c_str(), &code, &main, &sec) == 1) Check(code, main, sec);
    start = end + 1;
  }
  for (Sdict_build** list : {&whiteUrl_dict, &i18n_whiteUrl_dict}) {
    if (*list != nullptr) db_del(*list);
    *list = nullptr;
  }
  return 0;
}
