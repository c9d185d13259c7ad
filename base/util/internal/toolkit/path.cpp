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

PathSplit SplitPath(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {false, {}, path};
  return {true, path.substr(0, slash), path.substr(slash + 1)};
}

std::string_view FolderOf(const PathSplit& split) {
  if (!split.has_dir) return ".";
  return split.dir.empty() ? "/" : split.dir;
}

std::string LexicalPath(std::string_view path) {
  if (path.empty()) return std::string();
  const bool absolute = path.front() == '/';
  std::string out = absolute ? "/" : "";
  bool folder_at_end = false;  // the last step was empty or "."
  size_t i = 0;
  while (i <= path.size()) {  // a path that ends with '/' ends with an empty step
    size_t end = path.find('/', i);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view step = path.substr(i, end - i);
    folder_at_end = step.empty() || step == ".";
    if (!folder_at_end) {
      if (!out.empty() && out.back() != '/') out += '/';
      out.append(step.data(), step.size());
    }
    i = end + 1;
  }
  if (out.empty()) return ".";  // "." steps and slashes only, relative
  if (folder_at_end && out.back() != '/') out += '/';
  return out;
}

}  // namespace toolkit
