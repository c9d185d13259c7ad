// The inner operations of the JSON conversion: the document parse, the
// object walk and the field conversion, shared by the conversion's own
// sources (and its tests). Callers use json_to_pb.h.
#ifndef PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_
#define PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_

#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/io/zero_copy_stream.h>
#include <google/protobuf/message.h>
#include <rapidjson/document.h>

#include "json_to_pb.h"

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

// True unless |field| is a proto3 string field (whose bytes must be UTF-8,
// or protobuf refuses to parse the message written with them) and data[0..n)
// is not well-formed UTF-8.
bool StringFitsField(const google::protobuf::FieldDescriptor* field, const char* data, size_t n);

// Appends the "Invalid value ..." message for |value| given to |field|;
// true when the field is optional (the conversion then goes on).
bool value_invalid(const google::protobuf::FieldDescriptor* field, const char* type,
                   const rapidjson::Value& value, std::string* error);

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_
