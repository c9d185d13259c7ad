#include "error_text.h"

#include <cstdarg>

#include "base/string_printf.h"

namespace protobuf_json {

void AppendError(std::string* error, const char* format, ...) {
  if (error == nullptr) return;
  if (!error->empty()) base::string_appendf(error, ", ");
  va_list args;
  va_start(args, format);
  base::string_vappendf(error, format, args);
  va_end(args);
}

}  // namespace protobuf_json
