// Appending to the caller's optional error text: messages are separated by
// ", ", and a null text takes nothing.
#ifndef PROTOBUF_JSON_SRC_ERROR_TEXT_H_
#define PROTOBUF_JSON_SRC_ERROR_TEXT_H_

#include <string>

namespace protobuf_json {

void AppendError(std::string* error, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_SRC_ERROR_TEXT_H_
