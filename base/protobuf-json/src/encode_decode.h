// Field-name escapes: a JSON member name that is not a valid protobuf field
// name reaches a field whose declared name spells the odd bytes as "_Zddd_"
// (the byte's value in three decimal digits), e.g. "_Z045_id" for "-id".
#ifndef PROTOBUF_JSON_ENCODE_DECODE_H_
#define PROTOBUF_JSON_ENCODE_DECODE_H_

#include <string>

namespace protobuf_json {

// Escapes every byte other than [A-Za-z0-9_], and a digit in the first
// position. True when something was escaped (*out then holds the escaped
// name); false otherwise, with *out untouched.
bool encode_name(const std::string& name, std::string* out);

// Replaces every valid escape (value at most 255) by its byte. True when at
// least one was replaced (*out then holds the decoded name); false
// otherwise, with *out untouched.
bool decode_name(const std::string& name, std::string* out);

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_ENCODE_DECODE_H_
