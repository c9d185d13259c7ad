// Loads a .proto text at run time (written into a temporary folder and read
// by protoc's importer) and makes dynamic messages of its types.
#ifndef PROTOBUF_JSON_TEST_PROTO_SCHEMA_H_
#define PROTOBUF_JSON_TEST_PROTO_SCHEMA_H_

#include <memory>
#include <stdexcept>
#include <string>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/dynamic_message.h>

#include "support/support.h"

class ProtoSchema {
 public:
  explicit ProtoSchema(const std::string& proto_text) {
    testsupport::WriteFile(dir_.file("schema.proto"), proto_text);
    tree_.MapPath("", dir_.path());
    importer_ = std::make_unique<google::protobuf::compiler::Importer>(&tree_, &errors_);
    if (importer_->Import("schema.proto") == nullptr) {
      throw std::runtime_error("cannot import schema: " + errors_.text);
    }
  }

  // A new message of the given full type name (owned by the caller).
  std::unique_ptr<google::protobuf::Message> New(const std::string& type) {
    const google::protobuf::Descriptor* d = importer_->pool()->FindMessageTypeByName(type);
    if (d == nullptr) throw std::runtime_error("no type " + type);
    return std::unique_ptr<google::protobuf::Message>(factory_.GetPrototype(d)->New());
  }

  const google::protobuf::DescriptorPool* pool() const { return importer_->pool(); }

 private:
  struct Errors : google::protobuf::compiler::MultiFileErrorCollector {
    void AddError(const std::string& file, int line, int col, const std::string& msg) override {
      text += file + ":" + std::to_string(line) + ":" + std::to_string(col) + ": " + msg + "\n";
    }
    std::string text;
  };

  testsupport::TempDir dir_;
  google::protobuf::compiler::DiskSourceTree tree_;
  Errors errors_;
  std::unique_ptr<google::protobuf::compiler::Importer> importer_;
  google::protobuf::DynamicMessageFactory factory_;  // destroyed before the importer's pool
};

#endif  // PROTOBUF_JSON_TEST_PROTO_SCHEMA_H_
