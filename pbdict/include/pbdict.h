// Protobuf dictionary: a map from a text key to one protobuf message, kept as
// the message's serialised bytes.
//
// A dictionary is loaded once, either from a text file (one entry per line:
// a key, separator characters, a JSON object of the message type) or from
// the two binary files that binary_dump() writes ("pbd": header and values;
// "ht": the key table). dset_search_item() answers look-ups by key.
#ifndef PBDICT_PBDICT_H_
#define PBDICT_PBDICT_H_

#include <sys/time.h>
#include <sys/types.h>

#include <memory>
#include <string>

#include <google/protobuf/message.h>

#include "hash.h"

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

// One value slot: the serialised message bytes, owned by the dictionary.
typedef std::string* item_t;

// Size of the line buffer of the text load; also the longest key that a
// look-up folds to lower case.
const int kLineBufferSize = 1024000;

class ValueBlocks;

class PbDict {
 public:
  // The prototype is not owned and must outlive the dictionary; param may
  // be null (defaults).
  PbDict(const google::protobuf::Message* prototype, const dset_parameter_t* param);
  ~PbDict();
  PbDict(const PbDict&) = delete;
  PbDict& operator=(const PbDict&) = delete;

  // dset_load(this, path).
  int load(const char* path);
  // dset_binary_dump / dset_binary_load of the files "<path>/<name>.pbd" and
  // "<path>/<name>.ht".
  int binary_dump(const char* path, const char* name);
  int binary_load(const char* path, const char* name);

  timeval tag;             // time of the last binary write
  timeval reloadtime;      // time of the last text or binary load
  int is_empty;            // 1 while the dictionary holds no entry
  int line_num;            // number of entries
  int item_per_line;       // number of value columns per line
  int key_index;           // column of the key
  char format[1];          // kind of each value column: 'b' = serialised message
  char key_format;         // kind of the key: 's' = string
  dset_parameter_t parameter;
  item_t* item;            // entry i's value is item[i * allvalueunit + item_offset[column]]
  int item_unit[1];        // slots per value column
  int item_offset[2];      // first slot of each value column
  int allvalueunit;        // slots per entry
  int load_type;           // -1 nothing loaded, 0 text load, 1 binary load
  hash_table_t* pht;       // key to entry index
  const google::protobuf::Message* message_type;  // prototype of the value type
  // Where the loads make the value strings that `item` points at; internal
  // to the module (the dictionary frees them whole).
  std::unique_ptr<ValueBlocks> value_blocks;
  // The file of the text load (its device and inode; zeros before one): the
  // binary write never takes it for a leftover temporary of its own, whatever
  // its name.
  dev_t source_dev = 0;
  ino_t source_ino = 0;
};

// Applies a parameter record: comment_allowed, filename and overflow_max_line
// as given, the others through the setters below. 0, or -1 on a null argument.
int dset_change_parameter(PbDict* dict, const dset_parameter_t* param);

// Setters; each returns 0, or -1 (logged) for a null dictionary or a
// refused value.
int dset_change_max_line(PbDict* dict, int max_line);
int dset_change_err_if_overflow_maxline(PbDict* dict, int err_if_overflow_maxline);
int dset_change_tolower(PbDict* dict, int tolower);
int dset_change_dedup(PbDict* dict, int dedup);
int dset_change_separator(PbDict* dict, const char* separator);
int dset_change_temp_path(PbDict* dict, const char* temp_path);

// Loads a text dictionary file: 0 loaded (possibly empty), 2 stopped at
// max_line while err_if_overflow_maxline is 1, -1 failure.
int dset_load(PbDict* dict, const char* path);

// Prepares the item array and the key table of a text load: 0 or -1.
int init_dictset(PbDict* dict);
// Shrinks the item array to the entries read: 1, or -1 on failure.
int restore_item(PbDict* dict);

// Fills found_item with the message of the key: 1 found, 0 not found, -1
// bad argument or a stored value that does not parse as found_item's type
// (logged).
int dset_search_item(const PbDict* dict, const char* key, google::protobuf::Message* found_item);

// The entry index of the key, or -1.
int find_line(const PbDict* dict, const char* key);

// Writes the dictionary as "<path>/<name>.pbd" and "<path>/<name>.ht":
// 0 written, -1 failure.
int dset_binary_dump(PbDict* dict, const char* path, const char* name);
// Reads a dictionary written by dset_binary_dump into an unloaded one:
// 0 read (possibly empty), -1 failure.
int dset_binary_load(PbDict* dict, const char* path, const char* name);

// Releases the values of every column of format 'b' and the item array.
int dsethead_binary_release(PbDict* dict);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_PBDICT_H_
