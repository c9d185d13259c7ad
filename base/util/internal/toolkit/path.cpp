#include "toolkit/path.h"

#include <cstring>

namespace toolkit {

bool Concat(char* out, size_t size, std::initializer_list<std::string_view> pieces) {
  if (out == nullptr || size == 0) return false;
  size_t total = 0;
  for (std::string_view p : pieces) total += p.size();
  if (total >= size) {
    out[0] = '\0';
    return false;
  }
  char* q = out;
  for (std::string_view p : pieces) {
    if (p.empty()) continue;  // an empty view may carry a null pointer
    std::memcpy(q, p.data(), p.size());
    q += p.size();
  }
  *q = '\0';
  return true;
}

bool JoinPath(char* out, size_t size, std::string_view dir, std::string_view name,
              std::string_view suffix) {
  return Concat(out, size, {dir, "/", name, suffix});
}

}  // namespace toolkit
