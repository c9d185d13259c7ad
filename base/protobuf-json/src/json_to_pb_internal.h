// The inner operations of the JSON conversion: the document parse, the
// object walk and the field conversion, shared by the conversion's own
// sources (and its tests). Callers use json_to_pb.h.
#ifndef PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_
#define PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_

#include <cstdlib>
#include <new>
#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/io/zero_copy_stream.h>
#include <google/protobuf/message.h>
#include <rapidjson/document.h>

#include "json_to_pb.h"

namespace protobuf_json {

// The parse's base allocator: the C library's blocks, as rapidjson's own
// CrtAllocator hands them out, except that a block that cannot be had is
// std::bad_alloc rather than a null pointer the parser would write through.
// Memory running out in a conversion is thus std::bad_alloc wherever it
// happens, in the parse as in protobuf's setters.
class ThrowingAllocator {
 public:
  static const bool kNeedFree = true;
  void* Malloc(size_t size) {
    if (size == 0) return nullptr;
    void* p = std::malloc(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  void* Realloc(void* original, size_t /*original_size*/, size_t new_size) {
    if (new_size == 0) {
      std::free(original);
      return nullptr;
    }
    // A failed realloc leaves the original block as it was.
    void* p = std::realloc(original, new_size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
  }
  static void Free(void* p) { std::free(p); }
};

// The parsed document and its values: their pool and stacks draw on
// ThrowingAllocator.
using JsonAllocator = rapidjson::MemoryPoolAllocator<ThrowingAllocator>;
using JsonValue = rapidjson::GenericValue<rapidjson::UTF8<>, JsonAllocator>;
using JsonDocument = rapidjson::GenericDocument<rapidjson::UTF8<>, JsonAllocator, ThrowingAllocator>;

// Messages nested deeper than this are refused, so that hostile JSON for a
// recursive type cannot exhaust the stack (here or in protobuf later on).
constexpr int kMaxMessageDepth = 100;

// Parses the whole stream into *document; true when there was no parse error.
bool ZeroCopyStreamToJson(JsonDocument* document,
                          google::protobuf::io::ZeroCopyInputStream* stream);

// Fills *message from a JSON object (the object walk). |depth| counts the
// messages around this one.
bool JsonValueToProtoMessage(const JsonValue& json_value, google::protobuf::Message* message,
                             const Json2PbOptions& options, std::string* error, int depth = 0);

// Stores one JSON value into one field (single or repeated) of *message.
// True when the conversion may go on.
bool JsonValueToProtoField(const JsonValue& value,
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
                   const JsonValue& value, std::string* error);

}  // namespace protobuf_json

#endif  // PROTOBUF_JSON_SRC_JSON_TO_PB_INTERNAL_H_
