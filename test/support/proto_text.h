// Builds a protobuf schema from .proto text in memory and makes dynamic
// messages of its types. Header-only, so tests, benchmarks and fuzz targets
// can all use it (they link protobuf and libprotoc).
#ifndef PBDICT_TEST_SUPPORT_PROTO_TEXT_H_
#define PBDICT_TEST_SUPPORT_PROTO_TEXT_H_

#include <memory>
#include <stdexcept>
#include <string>

#include <google/protobuf/compiler/parser.h>
#include <google/protobuf/descriptor.h>
#include <google/protobuf/descriptor.pb.h>
#include <google/protobuf/dynamic_message.h>
#include <google/protobuf/io/tokenizer.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>
#include <google/protobuf/text_format.h>

namespace testsupport {

class ProtoText {
 public:
  // Parses and builds the schema; ok() tells whether that worked, error() why not.
  explicit ProtoText(const std::string& text, const std::string& file_name = "schema.proto") {
    google::protobuf::io::ArrayInputStream input(text.data(), static_cast<int>(text.size()));
    Errors errors(&error_);
    google::protobuf::io::Tokenizer tokenizer(&input, &errors);
    google::protobuf::FileDescriptorProto file;
    google::protobuf::compiler::Parser parser;
    parser.RecordErrorsTo(&errors);
    if (!parser.Parse(&tokenizer, &file)) {
      if (error_.empty()) error_ = "cannot parse " + file_name;
      return;
    }
    file.set_name(file_name);
    if (pool_.BuildFile(file) == nullptr) error_ = "cannot build " + file_name;
  }
  ProtoText(const ProtoText&) = delete;
  ProtoText& operator=(const ProtoText&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const google::protobuf::DescriptorPool* pool() const { return &pool_; }

  // The prototype of a full type name ("package.Message"), or null.
  const google::protobuf::Message* Prototype(const std::string& type) {
    const google::protobuf::Descriptor* d = pool_.FindMessageTypeByName(type);
    return d == nullptr ? nullptr : factory_.GetPrototype(d);
  }
  // A new message of the type; throws when the schema has no such type.
  std::unique_ptr<google::protobuf::Message> New(const std::string& type) {
    const google::protobuf::Message* p = Prototype(type);
    if (p == nullptr) throw std::runtime_error("no message type " + type);
    return std::unique_ptr<google::protobuf::Message>(p->New());
  }
  // A message in protobuf text form, for comparisons in tests.
  static std::string Text(const google::protobuf::Message& m) {
    std::string out;
    google::protobuf::TextFormat::PrintToString(m, &out);
    return out;
  }

 private:
  struct Errors : google::protobuf::io::ErrorCollector {
    explicit Errors(std::string* out) : out_(out) {}
    void AddError(int line, int column, const std::string& message) override {
      *out_ += std::to_string(line + 1) + ":" + std::to_string(column + 1) + ": " + message + "\n";
    }
    std::string* out_;
  };

  std::string error_;
  google::protobuf::DescriptorPool pool_;
  google::protobuf::DynamicMessageFactory factory_{&pool_};  // destroyed before the pool
};

}  // namespace testsupport

#endif  // PBDICT_TEST_SUPPORT_PROTO_TEXT_H_
