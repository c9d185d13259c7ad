// The builder's schema files: those of one folder, as the disk source tree
// maps them, each opened the toolkit's way (regular files only, an open
// that never blocks), so a FIFO, a folder or a device named as the schema or
// imported by it fails at once instead of hanging or reading without end.
#ifndef PBDICT_APP_SCHEMA_SOURCE_H_
#define PBDICT_APP_SCHEMA_SOURCE_H_

#include <string>
#include <vector>

#include <google/protobuf/compiler/importer.h>

#include "toolkit/file.h"

namespace pbdict_app {

class SchemaSourceTree : public google::protobuf::compiler::SourceTree {
 public:
  explicit SchemaSourceTree(std::string dir) : dir_(std::move(dir)) {}

  // The file's contents, or NULL (GetLastErrorMessage says why) for a name
  // that leaves the folder or a file that cannot be opened.
  google::protobuf::io::ZeroCopyInputStream* Open(const std::string& filename) override;
  std::string GetLastErrorMessage() override { return last_error_; }

  // A file the tree opened: its path and its identity.
  struct Opened {
    std::string path;
    toolkit::FileId id;
  };
  // Every file opened so far (the schema and each file it imports): inputs
  // of the run that no output may replace or remove.
  const std::vector<Opened>& opened() const { return opened_; }

 private:
  std::string dir_;
  std::string last_error_;
  std::vector<Opened> opened_;
};

}  // namespace pbdict_app

#endif  // PBDICT_APP_SCHEMA_SOURCE_H_
