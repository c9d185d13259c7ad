#include "dict_out.h"

#include <errno.h>
#include <fcntl.h>

#include <cstring>
#include <string>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_func.h"
#include "ul_log.h"

namespace dict_internal {

bool OutFile::Create(const char* path, mode_t mode, bool exact) {
  ok_ = file_.Open(path, mode, exact);
  if (!ok_) {
    const int err = errno;
    ul_writelog(UL_LOG_WARNING, "open(%s,%d,%d) call failed.error[%d] info is '%s'.", path,
                O_WRONLY | O_CREAT | O_TRUNC, static_cast<int>(mode), err, std::strerror(err));
  }
  return ok_;
}

bool OutFile::Write(const void* data, size_t n) {
  if (ok_) ok_ = toolkit::WriteAll(file_.fd(), data, n, ul_write);
  return ok_;
}

bool OutFile::Commit() {
  if (ok_ && file_.Commit()) return true;
  const int err = errno;
  ul_writelog(UL_LOG_WARNING, "[dict] %s not replaced.error[%d] info is '%s'.",
              file_.path().c_str(), err, std::strerror(err));
  file_.Abandon();
  ok_ = false;
  return false;
}

bool WriteNumbers(const char* dir, const char* name,
                  std::initializer_list<std::pair<const char*, int>> numbers) {
  char path[256];
  if (!toolkit::JoinPath(path, dir, name, ".n")) return false;
  std::string text;
  for (const auto& [key, value] : numbers) text += std::string(key) + " : " + std::to_string(value) + "\n";
  OutFile out;
  return out.Create(path, 0666, false) && out.Write(text.data(), text.size()) && out.Commit();
}

}  // namespace dict_internal
