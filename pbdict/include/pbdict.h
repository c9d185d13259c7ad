// Protobuf dictionary: a map from a text key to one protobuf message, kept as
// the message's serialised bytes.
#ifndef PBDICT_PBDICT_H_
#define PBDICT_PBDICT_H_

namespace kavo {
namespace pbdict {

// Parameters of a dictionary; the constructor sets the defaults.
struct dset_parameter_t {
  int max_line = 1000000;            // most entries the dictionary holds
  int overflow_max_line = 0;         // set to 1 when the text load stopped at max_line
  int err_if_overflow_maxline = 1;   // 1: stopping at max_line fails the load with 2
  int tolower = 0;                   // 1: keys are folded to lower case
  int dedup = 0;                     // 1: a repeated key fails the load
  const char* separator = "\t";      // set of separator characters between columns
  const char* temp_path = "./";      // kept with the parameters; not read
  const char* filename = nullptr;    // name of the text file, for the caller's use
  int comment_allowed = 1;           // non-zero: a first column starting with '#' is a comment
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_PBDICT_H_
