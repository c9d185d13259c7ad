// Map-shaped fields: a repeated field of key/value entry messages that a JSON
// object fills, one entry per member.
#ifndef PROTOBUF_JSON_PROTOBUF_MAP_H_
#define PROTOBUF_JSON_PROTOBUF_MAP_H_

#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>
#include <rapidjson/document.h>

#include "json_to_pb_internal.h"

namespace protobuf_json {

// True when |field| is repeated, of message type, and its entry type has
// exactly two fields: "key" (single, string) and then "value".
bool IsProtobufMap(const google::protobuf::FieldDescriptor* field);

// Adds one entry per member of the JSON object, in the order of the text.
// True when every entry was filled.
bool JsonMapToProtoMap(const JsonValue& value, const google::protobuf::FieldDescriptor* field,
                       google::protobuf::Message* message, const Json2PbOptions& options,
                       std::string* error, int depth = 0);

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_PROTOBUF_MAP_H_
