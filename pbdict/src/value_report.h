// The report of a value conversion that passed values over. An optional
// field given a value of another kind is left unset and the conversion goes
// on; its error text then holds one message for each such value, joined by
// ", ":
//   Invalid value `RENDERING' for optional field `FULL.NAME' which SHOULD be TYPE
// where RENDERING shows the value (a string's bytes between double quotes,
// nothing escaped).
#ifndef PBDICT_SRC_VALUE_REPORT_H_
#define PBDICT_SRC_VALUE_REPORT_H_

#include <string_view>

namespace kavo {
namespace pbdict {

// Logs one warning per message of the report, naming the text file, the
// line and the field:
//   dict-set:[PATH]-line[N]: optional field `FULL.NAME' passed over: MESSAGE
// Control bytes of the message are written as \xHH, so that each warning
// stays one log line. A string value whose own text holds ", " and a whole
// message of this form is split there: the text alone cannot tell.
void LogPassedOver(const char* path, int lineno, std::string_view report);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_VALUE_REPORT_H_
