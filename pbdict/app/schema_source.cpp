#include "schema_source.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <google/protobuf/io/zero_copy_stream_impl.h>

#include "toolkit/file.h"

namespace pbdict_app {

namespace {

// A name inside the folder: relative, without "." or ".." segments or
// backslashes (the names the disk source tree accepts as canonical).
bool Canonical(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('/', start);
    const std::string segment = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace

google::protobuf::io::ZeroCopyInputStream* SchemaSourceTree::Open(const std::string& filename) {
  if (!Canonical(filename)) {
    last_error_ = "File not found.";
    return nullptr;
  }
  const std::string path = dir_.empty() || dir_.back() == '/' ? dir_ + filename : dir_ + "/" + filename;
  toolkit::UniqueFd fd = toolkit::OpenForReading(path.c_str());
  if (!fd.ok()) {
    last_error_ = strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd.get(), &st) != 0) {
    last_error_ = strerror(errno);
    return nullptr;
  }
  opened_.push_back(Opened{path, toolkit::FileId{st.st_dev, st.st_ino}});
  auto* stream = new google::protobuf::io::FileInputStream(fd.release());
  stream->SetCloseOnDelete(true);
  return stream;
}

}  // namespace pbdict_app
