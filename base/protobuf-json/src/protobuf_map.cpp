// Map-shaped fields filled from JSON objects.
#include "protobuf_map.h"

#include "error_text.h"

namespace protobuf_json {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

bool IsProtobufMap(const FieldDescriptor* field) {
  if (field->label() != FieldDescriptor::LABEL_REPEATED ||
      field->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE) {
    return false;
  }
  const Descriptor* entry = field->message_type();
  if (entry == nullptr || entry->field_count() != 2) return false;
  const FieldDescriptor* key = entry->field(0);
  return key->name() == "key" && key->label() != FieldDescriptor::LABEL_REPEATED &&
         key->cpp_type() == FieldDescriptor::CPPTYPE_STRING && entry->field(1)->name() == "value";
}

bool JsonMapToProtoMap(const JsonValue& value, const FieldDescriptor* field, Message* message,
                       const Json2PbOptions& options, std::string* error, int depth) {
  if (!value.IsObject()) {
    AppendError(error, "Non-object value for map field: %s", field->full_name().c_str());
    return false;
  }
  if (!IsProtobufMap(field)) {
    // Only reachable by a direct call with some other field: fill nothing.
    AppendError(error, "Not a map-shaped field: %s", field->full_name().c_str());
    return false;
  }
  const Descriptor* entry_type = field->message_type();
  const FieldDescriptor* key_field = entry_type->field(0);
  const FieldDescriptor* value_field = entry_type->field(1);
  // Each entry is a message one level down, as it is in the array form and
  // on the wire: the nesting limit counts it too.
  if (!value.ObjectEmpty() && depth + 1 > kMaxMessageDepth) {
    AppendError(error, "Too deeply nested message: %s", entry_type->full_name().c_str());
    return false;
  }
  const Reflection* reflection = message->GetReflection();
  for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
    if (!StringFitsField(key_field, m->name.GetString(), m->name.GetStringLength())) {
      AppendError(error, "Invalid UTF-8 in string field: %s", key_field->full_name().c_str());
      return false;
    }
    Message* entry = reflection->AddMessage(message, field);
    const Reflection* entry_reflection = entry->GetReflection();
    entry_reflection->SetString(entry, key_field,
                                std::string(m->name.GetString(), m->name.GetStringLength()));
    if (!JsonValueToProtoField(m->value, value_field, entry, options, error, depth + 1)) {
      return false;
    }
  }
  return true;
}

}  // namespace protobuf_json
