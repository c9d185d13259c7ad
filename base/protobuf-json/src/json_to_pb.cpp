// JSON text to protobuf message: the entry points, the object walk and the
// conversion of one value into one field.
#include "json_to_pb_internal.h"

#include <strings.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "base/base64.h"
#include "base/string_printf.h"
#include "encode_decode.h"
#include "error_text.h"
#include "protobuf_map.h"
#include "zero_copy_stream_reader.h"

using google::protobuf::Descriptor;
using google::protobuf::EnumValueDescriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

namespace protobuf_json {

namespace {

// The iterative parser accepts exactly what the default one does, but keeps
// its stack on the heap, so deeply nested JSON cannot overflow ours.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags | rapidjson::kParseIterativeFlag;

// True when the JSON string equals |word| ignoring ASCII case (a string
// holding NUL bytes never matches).
bool StringEqualsIgnoreCase(const JsonValue& value, const char* word, size_t word_len) {
  return value.GetStringLength() == word_len &&
         strncasecmp(value.GetString(), word, word_len) == 0;
}

// Reads a float or double: any number, or "NaN", "Infinity", "-Infinity" in
// any case. 0 on success, 1 for a string of other content, 2 for another kind.
int ReadFloating(const JsonValue& value, double* out) {
  if (value.IsNumber()) {
    *out = value.GetDouble();
    return 0;
  }
  if (!value.IsString()) return 2;
  if (StringEqualsIgnoreCase(value, "nan", 3)) {
    *out = std::numeric_limits<double>::quiet_NaN();
  } else if (StringEqualsIgnoreCase(value, "infinity", 8)) {
    *out = std::numeric_limits<double>::infinity();
  } else if (StringEqualsIgnoreCase(value, "-infinity", 9)) {
    *out = -std::numeric_limits<double>::infinity();
  } else {
    return 1;
  }
  return 0;
}

// Narrows a double to float as the hardware does (round to nearest, out of
// range to infinity) without the undefined behaviour of an out-of-range cast.
float NarrowToFloat(double d) {
  // Smallest double that rounds to infinity as a float: FLT_MAX plus half
  // an ulp (a tie goes to the even neighbour, which is infinity).
  constexpr double kOverflow = 0x1.ffffffp127;
  constexpr double kMax = std::numeric_limits<float>::max();
  if (d >= kOverflow) return std::numeric_limits<float>::infinity();
  if (d <= -kOverflow) return -std::numeric_limits<float>::infinity();
  if (d > kMax) return std::numeric_limits<float>::max();
  if (d < -kMax) return -std::numeric_limits<float>::max();
  return static_cast<float>(d);  // in range, or NaN
}

const EnumValueDescriptor* ReadEnum(const JsonValue& value, const FieldDescriptor* field) {
  if (value.IsInt()) return field->enum_type()->FindValueByNumber(value.GetInt());
  if (value.IsString()) {
    return field->enum_type()->FindValueByName(
        std::string(value.GetString(), value.GetStringLength()));
  }
  return nullptr;
}

// Takes a string value for a string or bytes field into *out, decoding base64
// when asked. False (with the error appended) when the base64 is bad.
// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing
// above U+10FFFF, no sequence cut short.
bool IsUtf8(const unsigned char* p, size_t n) {
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xbf;  // range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
      len = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
      len = 3;
      if (c == 0xe0) lo = 0xa0;
      if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      len = 4;
      if (c == 0xf0) lo = 0x90;
      if (c == 0xf4) hi = 0x8f;
    } else {
      return false;
    }
    if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      if ((p[i + k] & 0xc0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

}  // namespace

bool StringFitsField(const FieldDescriptor* field, const char* data, size_t n) {
  if (field->type() != FieldDescriptor::TYPE_STRING ||
      field->file()->syntax() != google::protobuf::FileDescriptor::SYNTAX_PROTO3) {
    return true;
  }
  return IsUtf8(reinterpret_cast<const unsigned char*>(data), n);
}

namespace {

bool ReadString(const JsonValue& value, const FieldDescriptor* field,
                const Json2PbOptions& options, std::string* error, std::string* out) {
  if (options.base64_to_bytes && field->type() == FieldDescriptor::TYPE_BYTES) {
    if (!base::Base64Decode(base::StringPiece(value.GetString(), value.GetStringLength()), out)) {
      if (error != nullptr) {
        AppendError(error, "Fail to decode base64 string=");
        error->append(value.GetString(), value.GetStringLength());
      }
      return false;
    }
    return true;
  }
  if (!StringFitsField(field, value.GetString(), value.GetStringLength())) {
    AppendError(error, "Invalid UTF-8 in string field: %s", field->full_name().c_str());
    return false;
  }
  out->assign(value.GetString(), value.GetStringLength());
  return true;
}

// The type word of the "Invalid value" message for a value of the wrong kind.
const char* TypeWord(const FieldDescriptor* field) {
  switch (field->cpp_type()) {
    case FieldDescriptor::CPPTYPE_INT32: return "INT32";
    case FieldDescriptor::CPPTYPE_INT64: return "INT64";
    case FieldDescriptor::CPPTYPE_UINT32: return "UINT32";
    case FieldDescriptor::CPPTYPE_UINT64: return "UINT64";
    case FieldDescriptor::CPPTYPE_BOOL: return "BOOL";
    case FieldDescriptor::CPPTYPE_FLOAT: return "float";
    case FieldDescriptor::CPPTYPE_DOUBLE: return "double";
    case FieldDescriptor::CPPTYPE_ENUM: return "enum";
    case FieldDescriptor::CPPTYPE_STRING: return "string";
    case FieldDescriptor::CPPTYPE_MESSAGE: return "message";
  }
  return "";
}

// How StoreValue ended.
enum StoreResult {
  kStored,
  kWrongKind,  // the caller reports the value with *type
  kReported,   // a failure already in the error text (bad base64, sub-message)
};

// Stores one JSON value into a field: added to a repeated field (one element
// of the JSON array) or set in a single one. *type is the type word to report
// a value of the wrong kind with.
template <bool kAdd>
StoreResult StoreValue(const JsonValue& value, const FieldDescriptor* field,
                       Message* message, const Reflection* r, const Json2PbOptions& options,
                       std::string* error, int depth, const char** type) {
  *type = TypeWord(field);
  switch (field->cpp_type()) {
    case FieldDescriptor::CPPTYPE_INT32:
      if (!value.IsInt()) return kWrongKind;
      if constexpr (kAdd) r->AddInt32(message, field, value.GetInt());
      else r->SetInt32(message, field, value.GetInt());
      return kStored;
    case FieldDescriptor::CPPTYPE_INT64:
      if (!value.IsInt64()) return kWrongKind;
      if constexpr (kAdd) r->AddInt64(message, field, value.GetInt64());
      else r->SetInt64(message, field, value.GetInt64());
      return kStored;
    case FieldDescriptor::CPPTYPE_UINT32:
      if (!value.IsUint()) return kWrongKind;
      if constexpr (kAdd) r->AddUInt32(message, field, value.GetUint());
      else r->SetUInt32(message, field, value.GetUint());
      return kStored;
    case FieldDescriptor::CPPTYPE_UINT64:
      if (!value.IsUint64()) return kWrongKind;
      if constexpr (kAdd) r->AddUInt64(message, field, value.GetUint64());
      else r->SetUInt64(message, field, value.GetUint64());
      return kStored;
    case FieldDescriptor::CPPTYPE_BOOL:
      if (!value.IsBool()) return kWrongKind;
      if constexpr (kAdd) r->AddBool(message, field, value.GetBool());
      else r->SetBool(message, field, value.GetBool());
      return kStored;
    case FieldDescriptor::CPPTYPE_FLOAT: {
      double d;
      const int rc = ReadFloating(value, &d);
      if (rc == 1) *type = "f";
      if (rc != 0) return kWrongKind;
      if constexpr (kAdd) r->AddFloat(message, field, NarrowToFloat(d));
      else r->SetFloat(message, field, NarrowToFloat(d));
      return kStored;
    }
    case FieldDescriptor::CPPTYPE_DOUBLE: {
      double d;
      const int rc = ReadFloating(value, &d);
      if (rc == 1) *type = "d";
      if (rc != 0) return kWrongKind;
      if constexpr (kAdd) r->AddDouble(message, field, d);
      else r->SetDouble(message, field, d);
      return kStored;
    }
    case FieldDescriptor::CPPTYPE_ENUM: {
      // Only declared values: protobuf must never see an unknown number.
      const EnumValueDescriptor* e = ReadEnum(value, field);
      if (e == nullptr) return kWrongKind;
      if constexpr (kAdd) r->AddEnum(message, field, e);
      else r->SetEnum(message, field, e);
      return kStored;
    }
    case FieldDescriptor::CPPTYPE_STRING: {
      if (!value.IsString()) return kWrongKind;
      std::string s;
      if (!ReadString(value, field, options, error, &s)) return kReported;
      if constexpr (kAdd) r->AddString(message, field, std::move(s));
      else r->SetString(message, field, std::move(s));
      return kStored;
    }
    case FieldDescriptor::CPPTYPE_MESSAGE: {
      // An element must be an object; a single field takes any value, which
      // the walk of the (created) sub-message then judges.
      if (kAdd && !value.IsObject()) return kWrongKind;
      Message* sub = kAdd ? r->AddMessage(message, field) : r->MutableMessage(message, field);
      return JsonValueToProtoMessage(value, sub, options, error, depth + 1) ? kStored : kReported;
    }
  }
  return kStored;
}

// Converts the member named after |field| (if any) into it.
bool ConvertField(const JsonValue& object, const FieldDescriptor* field, Message* message,
                  const Json2PbOptions& options, std::string* error, int depth) {
  const std::string& declared = field->name();
  std::string decoded;
  const std::string& json_name = decode_name(declared, &decoded) ? decoded : declared;
  // Compare with an explicit length: a decoded name may hold NUL bytes.
  const JsonValue key(rapidjson::StringRef(json_name.data(), json_name.size()));
  const auto member = object.FindMember(key);
  if (member == object.MemberEnd()) {
    if (field->is_required()) {
      AppendError(error, "Missing required field: %s", field->full_name().c_str());
      return false;
    }
    return true;
  }
  const JsonValue& value = member->value;
  if (!value.IsArray() && !value.IsNull() && IsProtobufMap(field)) {
    return JsonMapToProtoMap(value, field, message, options, error, depth);
  }
  return JsonValueToProtoField(value, field, message, options, error, depth);
}

// The known extensions of the message's type that lie in its extension
// ranges, ordered by (range, number).
std::vector<const FieldDescriptor*> KnownExtensions(const Message& message) {
  const Descriptor* type = message.GetDescriptor();
  std::vector<const FieldDescriptor*> all;
  type->file()->pool()->FindAllExtensions(type, &all);
  std::vector<std::pair<int, int>> keys;  // (range index, number)
  for (const FieldDescriptor* ext : all) {
    for (int k = 0; k < type->extension_range_count(); ++k) {
      const Descriptor::ExtensionRange* range = type->extension_range(k);
      if (ext->number() >= range->start && ext->number() < range->end) {
        keys.emplace_back(k, ext->number());
        break;
      }
    }
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  std::vector<const FieldDescriptor*> result;
  const Reflection* reflection = message.GetReflection();
  for (const auto& key : keys) {
    const FieldDescriptor* ext = reflection->FindKnownExtensionByNumber(key.second);
    if (ext != nullptr) result.push_back(ext);
  }
  return result;
}

}  // namespace

bool ZeroCopyStreamToJson(JsonDocument* document,
                          google::protobuf::io::ZeroCopyInputStream* stream) {
  ZeroCopyStreamReader reader(stream);
  document->ParseStream<kParseFlags>(reader);
  return !document->HasParseError();
}

bool value_invalid(const FieldDescriptor* field, const char* type, const JsonValue& value,
                   std::string* error) {
  const bool optional = field->label() == FieldDescriptor::LABEL_OPTIONAL;
  if (error == nullptr) return optional;
  AppendError(error, "Invalid value `");
  if (value.IsNull()) {
    base::string_appendf(error, "null");
  } else if (value.IsBool()) {
    base::string_appendf(error, "%s", value.GetBool() ? "true" : "false");
  } else if (value.IsInt()) {
    base::string_appendf(error, "%d", value.GetInt());
  } else if (value.IsUint()) {
    base::string_appendf(error, "%u", value.GetUint());
  } else if (value.IsInt64()) {
    base::string_appendf(error, "%" PRId64, value.GetInt64());
  } else if (value.IsUint64()) {
    base::string_appendf(error, "%" PRIu64, value.GetUint64());
  } else if (value.IsDouble()) {
    base::string_appendf(error, "%f", value.GetDouble());
  } else if (value.IsString()) {
    // The bytes go in whole, NULs included, between double quotes.
    error->push_back('"');
    error->append(value.GetString(), value.GetStringLength());
    error->push_back('"');
  } else if (value.IsArray()) {
    base::string_appendf(error, "array");
  } else {
    base::string_appendf(error, "object");
  }
  base::string_appendf(error, "' for %sfield `%s' which SHOULD be %s", optional ? "optional " : "",
                       field->full_name().c_str(), type);
  return optional;
}

bool JsonValueToProtoField(const JsonValue& value, const FieldDescriptor* field,
                           Message* message, const Json2PbOptions& options, std::string* error,
                           int depth) {
  if (value.IsNull()) {
    if (field->is_required()) {
      AppendError(error, "Missing required field: %s", field->full_name().c_str());
      return false;
    }
    return true;
  }
  const Reflection* r = message->GetReflection();
  if (field->is_repeated()) {
    if (!value.IsArray()) {
      AppendError(error, "Invalid value for repeated field: %s", field->full_name().c_str());
      return false;
    }
    // The first bad element ends the conversion, whatever the label; the
    // elements before it stay added.
    for (const auto& item : value.GetArray()) {
      const char* type;
      switch (StoreValue<true>(item, field, message, r, options, error, depth, &type)) {
        case kStored: break;
        case kWrongKind: value_invalid(field, type, item, error); return false;
        case kReported: return false;
      }
    }
    return true;
  }
  const char* type;
  switch (StoreValue<false>(value, field, message, r, options, error, depth, &type)) {
    case kStored: return true;
    case kWrongKind: return value_invalid(field, type, value, error);
    case kReported: return false;
  }
  return false;
}

bool JsonValueToProtoMessage(const JsonValue& json_value, Message* message,
                             const Json2PbOptions& options, std::string* error, int depth) {
  const Descriptor* type = message->GetDescriptor();
  if (!json_value.IsObject()) {
    AppendError(error, "`json_value' is not a json object. %s", type->name().c_str());
    return false;
  }
  if (depth > kMaxMessageDepth) {
    AppendError(error, "Too deeply nested message: %s", type->full_name().c_str());
    return false;
  }
  if (type->extension_range_count() > 0) {
    for (const FieldDescriptor* ext : KnownExtensions(*message)) {
      if (!ConvertField(json_value, ext, message, options, error, depth)) return false;
    }
  }
  for (int i = 0; i < type->field_count(); ++i) {
    if (!ConvertField(json_value, type->field(i), message, options, error, depth)) return false;
  }
  return true;
}

}  // namespace protobuf_json

namespace {

// A parse document whose first memory-pool chunk lives on the stack, so that
// a typical line is parsed without a 64 KiB allocation; larger documents go on
// in chunks of 65536 bytes, with a parse stack of 1024 bytes.
class StackDocument {
 public:
  StackDocument()
      : allocator_(first_chunk_, sizeof(first_chunk_),
                   kChunkCapacity),
        document_(&allocator_, 1024) {}
  protobuf_json::JsonDocument* get() { return &document_; }

 private:
  static constexpr size_t kChunkCapacity = 65536;
  alignas(16) char first_chunk_[4096];
  protobuf_json::JsonAllocator allocator_;
  protobuf_json::JsonDocument document_;  // destroyed before its allocator
};

bool ParseAndConvert(protobuf_json::JsonDocument* document, google::protobuf::Message* message,
                     const Json2PbOptions& options, std::string* error) {
  if (document->HasParseError()) {
    protobuf_json::AppendError(error, "Invalid json format");
    return false;
  }
  return protobuf_json::JsonValueToProtoMessage(*document, message, options, error);
}

}  // namespace

bool JsonToProtoMessage(const std::string& json_string, google::protobuf::Message* message,
                        const Json2PbOptions& options, std::string* error) {
  if (error != nullptr) error->clear();
  if (message == nullptr) return false;
  StackDocument document;
  document.get()->Parse<protobuf_json::kParseFlags>(json_string.c_str());
  return ParseAndConvert(document.get(), message, options, error);
}

bool JsonToProtoMessage(const std::string& json_string, google::protobuf::Message* message,
                        std::string* error) {
  return JsonToProtoMessage(json_string, message, Json2PbOptions(), error);
}

bool JsonToProtoMessage(std::string&& json_string, google::protobuf::Message* message,
                        std::string* error) {
  return JsonToProtoMessage(static_cast<const std::string&>(json_string), message,
                            Json2PbOptions(), error);
}

bool JsonToProtoMessage(google::protobuf::io::ZeroCopyInputStream* stream,
                        google::protobuf::Message* message, const Json2PbOptions& options,
                        std::string* error) {
  if (error != nullptr) error->clear();
  if (message == nullptr) return false;
  StackDocument document;  // a null stream reads as empty text
  protobuf_json::ZeroCopyStreamToJson(document.get(), stream);
  return ParseAndConvert(document.get(), message, options, error);
}

bool JsonToProtoMessage(google::protobuf::io::ZeroCopyInputStream* stream,
                        google::protobuf::Message* message, std::string* error) {
  return JsonToProtoMessage(stream, message, Json2PbOptions(), error);
}
