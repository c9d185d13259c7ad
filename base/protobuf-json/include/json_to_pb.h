// Fills a protobuf message of any type from JSON text, through its
// descriptor and reflection. Values must have the JSON kind of their field
// (nothing is coerced); errors are collected in an optional string.
#ifndef PROTOBUF_JSON_JSON_TO_PB_H_
#define PROTOBUF_JSON_JSON_TO_PB_H_

#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/io/zero_copy_stream.h>
#include <google/protobuf/message.h>
#include <rapidjson/document.h>

struct Json2PbOptions {
  Json2PbOptions() : base64_to_bytes(false) {}

  // When true, a JSON string given for a bytes field is base64-decoded
  // before it is stored.
  bool base64_to_bytes;
};

// Each form clears *error (when not null) first and returns true when the
// message was filled. The message is not cleared: single fields named in the
// JSON are overwritten and repeated fields are appended to. A text form reads
// up to the text's first NUL byte.
bool JsonToProtoMessage(const std::string& json_string, google::protobuf::Message* message,
                        const Json2PbOptions& options, std::string* error = nullptr);
bool JsonToProtoMessage(const std::string& json_string, google::protobuf::Message* message,
                        std::string* error = nullptr);
// Takes temporaries (and so const char* texts) without ambiguity.
bool JsonToProtoMessage(std::string&& json_string, google::protobuf::Message* message,
                        std::string* error = nullptr);
bool JsonToProtoMessage(google::protobuf::io::ZeroCopyInputStream* stream,
                        google::protobuf::Message* message, const Json2PbOptions& options,
                        std::string* error = nullptr);
bool JsonToProtoMessage(google::protobuf::io::ZeroCopyInputStream* stream,
                        google::protobuf::Message* message, std::string* error = nullptr);

namespace protobuf_json {

// Messages nested deeper than this are refused, so that hostile JSON for a
// recursive type cannot exhaust the stack (here or in protobuf later on).
constexpr int kMaxMessageDepth = 100;

// Parses the whole stream into *document; true when there was no parse error.
bool ZeroCopyStreamToJson(rapidjson::Document* document,
                          google::protobuf::io::ZeroCopyInputStream* stream);

// Fills *message from a JSON object (the object walk). |depth| counts the
// messages around this one.
bool JsonValueToProtoMessage(const rapidjson::Value& json_value, google::protobuf::Message* message,
                             const Json2PbOptions& options, std::string* error, int depth = 0);

// Stores one JSON value into one field (single or repeated) of *message.
// True when the conversion may go on.
bool JsonValueToProtoField(const rapidjson::Value& value,
                           const google::protobuf::FieldDescriptor* field,
                           google::protobuf::Message* message, const Json2PbOptions& options,
                           std::string* error, int depth = 0);

// Appends the "Invalid value ..." message for |value| given to |field|;
// true when the field is optional (the conversion then goes on).
bool value_invalid(const google::protobuf::FieldDescriptor* field, const char* type,
                   const rapidjson::Value& value, std::string* error);

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_JSON_TO_PB_H_
