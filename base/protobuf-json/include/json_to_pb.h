// Fills a protobuf message of any type from JSON text, through its
// descriptor and reflection. Values must have the JSON kind of their field
// (nothing is coerced); errors are collected in an optional string.
#ifndef PROTOBUF_JSON_JSON_TO_PB_H_
#define PROTOBUF_JSON_JSON_TO_PB_H_

#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/io/zero_copy_stream.h>
#include <google/protobuf/message.h>

struct Json2PbOptions {
  Json2PbOptions() : base64_to_bytes(false) {}

  // When true, a JSON string given for a bytes field is base64-decoded
  // before it is stored.
  bool base64_to_bytes;
};

// Each form clears *error (when not null) first and returns true when the
// message was filled. The message is not cleared: single fields named in the
// JSON are overwritten and repeated fields are appended to. A text form reads
// up to the text's first NUL byte. Memory running out, in the parse or in
// the message, is std::bad_alloc (the message is then partly filled).
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

#endif  // PROTOBUF_JSON_JSON_TO_PB_H_
