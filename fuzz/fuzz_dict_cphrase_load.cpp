// Fuzz target for dcp_load and dsur_load over hostile phrase and surname
// files, then the look-ups over a text.
//
// Input: [2 bytes phrase file length][phrase file][1 byte surname file
//        length][surname file][the rest: text]
#include <cstdint>
#include <string>

#include "dict_fuzz.h"
#include "ul_dict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = dictfuzz::Quiet();
  (void)ready;
  dictfuzz::Reader in(data, size);
  const std::string phrases = in.Section(2);
  dictfuzz::Put("ph", phrases);
  dictfuzz::Put("sur", in.Section(1));
  const std::string text = std::string(in.Rest().c_str());
  const char* dir = dictfuzz::Dir().c_str();
  Sdict_cphrase* cp = dcp_load(dir, "ph", "sur");
  if (cp == nullptr) __builtin_trap();  // the phrase file exists
  // A position yields a name and at most every phrase of the file once; a
  // unit of dcp_search is at most a phrase, a name or four bytes.
  char* out = dictfuzz::OutBuffer((text.size() + 1) * (phrases.size() + 16) + 8);
  dcp_seek(cp, text.c_str(), out);
  dcp_search(cp, text.c_str(), out);
  dsur_seek(cp->surname, text.c_str(), out);
  dsur_search(cp->surname, text.c_str(), out);
  dcp_del(cp);
  return 0;
}
