// PbDict: the object, its parameters, the text load and the key look-up.
//
// Messages are the system's own texts, odd spelling included
// ("functiondset", "memry", "ingores", "find__line"): log readers match
// them, so they stay as they are.
#include "pbdict.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "file_reader.h"
#include "json_to_pb.h"
#include "pbdict_results.h"
#include "ul_log.h"
#include "ul_transch.h"

namespace kavo {
namespace pbdict {

namespace {

// Lower bounds of max_line and the size hint of the first key table.
const struct {
  unsigned long long lower;
  int hint;
} hash_table_num[] = {
    {0, 1024},          {100000, 1024},     {1000000, 5001},    {50000000, 50001},
    {100000000, 1000001}, {4294967295ULL, 1000001}, {4294967295ULL, 1000001},
};

int HashHint(int max_line) {
  const int rows = static_cast<int>(sizeof(hash_table_num) / sizeof(hash_table_num[0]));
  unsigned long long m = max_line < 0 ? 0 : static_cast<unsigned long long>(max_line);
  for (int i = 0; i + 1 < rows; ++i) {
    if (hash_table_num[i].lower <= m && m <= hash_table_num[i + 1].lower) return hash_table_num[i].hint;
  }
  return hash_table_num[rows - 1].hint;
}

bool AlreadyLoaded(const PbDict* dict) {
  return dict->load_type != kNotLoaded || dict->item != nullptr || dict->pht != nullptr;
}

// Deletes the values of one entry (after a failed line).
void ReleaseEntry(PbDict* dict, int index) {
  if (dict->item == nullptr) return;
  for (int j = 0; j < dict->allvalueunit; ++j) {
    item_t& slot = dict->item[static_cast<size_t>(index) * dict->allvalueunit + j];
    delete slot;
    slot = nullptr;
  }
}

// Checks one line as read (len bytes, NUL-terminated) and strips its line
// end. False when the line is refused: empty, or longer than the buffer. A
// line that fills the buffer without its newline is either too long or the
// file's last line; the rest is dropped, and the part read is kept only
// when the file ended inside the line.
bool pre_process_line(FileReader* reader, char* line, size_t len) {
  if (len == 0 || line[0] == '\n') return false;
  if (line[len - 1] != '\n' && reader->SkipLine()) return false;
  while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = '\0';
  return true;
}

// Splits off the next column: skips leading separators and points *token at
// the column (empty when nothing is left). Returns the text after the
// column's closing separator, or null when nothing follows.
char* get_token(char* text, char** token, const char* separator) {
  text += std::strspn(text, separator);
  *token = text;
  if (*text == '\0') return nullptr;
  char* end = text + std::strcspn(text, separator);
  if (*end == '\0') return nullptr;
  *end++ = '\0';
  return *end != '\0' ? end : nullptr;
}

// Converts one JSON value to a message and stores its serialisation in the
// slot. 0, or -1 (logged).
int ConvertValue(const PbDict* dict, const char* json, item_t* slot) {
  std::unique_ptr<google::protobuf::Message> message(dict->message_type->New());
  std::unique_ptr<std::string> bytes(new std::string());
  try {
    if (!JsonToProtoMessage(std::string(json), message.get(), Json2PbOptions(), nullptr)) {
      ul_writelog(UL_LOG_FATAL, "protobuf parse error");
      return -1;
    }
    // A message with a required field unset cannot be serialised; protobuf
    // would abort the process, so such a value fails the line instead.
    if (!message->IsInitialized() || !message->SerializePartialToString(bytes.get())) {
      ul_writelog(UL_LOG_FATAL, "protobuf parse to string error");
      return -1;
    }
  } catch (const std::exception&) {
    ul_writelog(UL_LOG_FATAL, "protobuf parse error");
    return -1;
  }
  delete *slot;
  *slot = bytes.release();
  return 0;
}

// Results of insert_line.
enum LineResult { kLineTaken = 0, kLineSkipped = 1, kLineKeyTooLong = 2, kLineFailed = -1 };

// Reads one accepted line into entry line_num.
LineResult insert_line(PbDict* dict, char* line) {
  const char* separator = dict->parameter.separator;
  char* rest = line;
  char* key = nullptr;
  const int index = dict->line_num;
  for (int col = 0; col <= dict->item_per_line; ++col) {
    char* token = nullptr;
    if (rest != nullptr) rest = get_token(rest, &token, separator);
    if (token == nullptr || *token == '\0') {
      ul_writelog(UL_LOG_WARNING, "There is a line:[%s] with items less than expectation.", line);
      ReleaseEntry(dict, index);
      return kLineSkipped;
    }
    if (col == dict->key_index) {
      if (dict->parameter.comment_allowed != 0 && token[0] == '#') return kLineSkipped;
      // The key table keeps keys up to its limit: a longer key would be
      // stored cut, answer for its prefix and collide with other long keys.
      if (std::strlen(token) > static_cast<size_t>(kMaxKeyLength)) {
        ReleaseEntry(dict, index);
        return kLineKeyTooLong;
      }
      if (dict->parameter.tolower != 0) ul_trans2lower(token, token);
      key = token;
      continue;
    }
    int column = col < dict->key_index ? col : col - 1;
    size_t slot = static_cast<size_t>(index) * dict->allvalueunit + dict->item_offset[column];
    if (ConvertValue(dict, token, &dict->item[slot]) != 0) {
      ReleaseEntry(dict, index);
      return kLineFailed;
    }
  }
  int rc = hash_insert_node(dict->pht, key, static_cast<uint32_t>(index));
  if (rc < 0) {
    ul_writelog(UL_LOG_FATAL, "Not enough memory when inserting string to hash.");
    ReleaseEntry(dict, index);
    return kLineFailed;
  }
  if (rc == kHashKeyPresent && dict->parameter.dedup != 0) {
    ul_writelog(UL_LOG_WARNING, "Found duplicate key.");
    ReleaseEntry(dict, index);
    return kLineFailed;
  }
  // A repeated key without dedup still takes its entry; the key keeps the
  // index of its first line.
  return kLineTaken;
}

}  // namespace

PbDict::PbDict(const google::protobuf::Message* prototype, const dset_parameter_t* param)
    : tag{0, 0},
      reloadtime{0, 0},
      is_empty(1),
      line_num(0),
      item_per_line(1),
      key_index(0),
      format{'b'},
      key_format('s'),
      parameter(),
      item(nullptr),
      item_unit{1},
      item_offset{0, 1},
      allvalueunit(1),
      load_type(kNotLoaded),
      pht(nullptr),
      message_type(prototype) {
  if (param != nullptr) dset_change_parameter(this, param);
}

PbDict::~PbDict() {
  if (load_type == kLoadedBinary) {
    hash_binary_release(pht);
  } else {
    hash_release(pht);
  }
  pht = nullptr;
  if (item != nullptr) {
    for (int i = 0; i < line_num; ++i) ReleaseEntry(this, i);
    std::free(item);
    item = nullptr;
  }
}

int PbDict::load(const char* path) { return dset_load(this, path); }

int dset_change_parameter(PbDict* dict, const dset_parameter_t* param) {
  if (dict == nullptr || param == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass a NULL dict or parameter when call dset_change_parameter()");
    return -1;
  }
  dict->parameter.comment_allowed = param->comment_allowed;
  dict->parameter.filename = param->filename;
  dict->parameter.overflow_max_line = param->overflow_max_line;
  dset_change_max_line(dict, param->max_line);
  dset_change_err_if_overflow_maxline(dict, param->err_if_overflow_maxline);
  dset_change_tolower(dict, param->tolower);
  dset_change_dedup(dict, param->dedup);
  dset_change_separator(dict, param->separator);
  dset_change_temp_path(dict, param->temp_path);
  return 0;
}

int dset_change_max_line(PbDict* dict, int max_line) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL dict when call dset_change_max_line()");
    return -1;
  }
  if (max_line <= 0) {
    ul_writelog(UL_LOG_WARNING, "Pass a nonpositive integer %d when call dset_change_max_line()",
                max_line);
    return -1;
  }
  dict->parameter.max_line = max_line;
  return 0;
}

int dset_change_err_if_overflow_maxline(PbDict* dict, int err_if_overflow_maxline) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING,
                "Pass a NULL dict when call function dset_change_err_if_overflow_maxline()");
    return -1;
  }
  dict->parameter.err_if_overflow_maxline = err_if_overflow_maxline != 0 ? 1 : 0;
  return 0;
}

int dset_change_tolower(PbDict* dict, int tolower) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass a NULL dict when call function dset_change_tolower()");
    return -1;
  }
  dict->parameter.tolower = tolower != 0 ? 1 : 0;
  return 0;
}

int dset_change_dedup(PbDict* dict, int dedup) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass a NULL dict when call functiondset_change_dedup()");
    return -1;
  }
  dict->parameter.dedup = dedup != 0 ? 1 : 0;
  return 0;
}

int dset_change_separator(PbDict* dict, const char* separator) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass a NULL dict when call function dset_change_separator().");
    return -1;
  }
  if (separator != nullptr) dict->parameter.separator = separator;
  return 0;
}

int dset_change_temp_path(PbDict* dict, const char* temp_path) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass a NULL dict when call function dset_change_temp_path().");
    return -1;
  }
  if (temp_path != nullptr) dict->parameter.temp_path = temp_path;
  return 0;
}

int init_dictset(PbDict* dict) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "Pass NULL dict when call init_dictset()!");
    return -1;
  }
  size_t slots = static_cast<size_t>(dict->parameter.max_line) * dict->allvalueunit;
  dict->item = static_cast<item_t*>(std::calloc(slots, sizeof(item_t)));
  if (dict->item == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Not enough memory to create PbDict dict->item.");
    return -1;
  }
  dict->pht = hash_init_table(HashHint(dict->parameter.max_line));
  if (dict->pht == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Create string hash table error.");
    return -1;
  }
  return 0;
}

int restore_item(PbDict* dict) {
  if (dict == nullptr || dict->item == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pointer dict->item should not be NULL here, wrong!");
    return -1;
  }
  if (dict->line_num >= dict->parameter.max_line) return kRestoreItemOk;
  if (dict->line_num <= 0) {
    std::free(dict->item);
    dict->item = nullptr;
    return kRestoreItemOk;
  }
  size_t slots = static_cast<size_t>(dict->line_num) * dict->allvalueunit;
  item_t* shrunk = static_cast<item_t*>(std::malloc(slots * sizeof(item_t)));
  if (shrunk == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when malloc memry for dict->item.");
    return -1;
  }
  std::memcpy(shrunk, dict->item, slots * sizeof(item_t));
  std::free(dict->item);
  dict->item = shrunk;
  return kRestoreItemOk;
}

int dset_load(PbDict* dict, const char* path) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL dict when call function dset_load().");
    return -1;
  }
  if (path == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL dict file name when call function dset_load().");
    return -1;
  }
  // A dictionary is loaded once; a second load would mix two files.
  if (AlreadyLoaded(dict)) {
    ul_writelog(UL_LOG_WARNING, "The dict is loaded already, it can not load %s.", path);
    return -1;
  }
  FileReader reader;
  if (!reader.Open(path)) {
    ul_writelog(UL_LOG_FATAL, "Can't open dict file %s.", path);
    return -1;
  }
  if (init_dictset(dict) != 0) return -1;
  dict->line_num = 0;
  gettimeofday(&dict->reloadtime, nullptr);

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kLineBufferSize]);
  if (!buffer) {
    ul_writelog(UL_LOG_FATAL, "Not enough memory to read dict file %s.", path);
    return -1;
  }
  char* line = buffer.get();
  size_t len = 0;
  int lineno = 0;  // of the file, from 1
  while (reader.ReadLine(line, kLineBufferSize, &len)) {
    ++lineno;
    if (!pre_process_line(&reader, line, len)) {
      ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: line is empty or too long! [%s]", path,
                  dict->line_num, line);
      continue;
    }
    const LineResult rc = insert_line(dict, line);
    if (rc == kLineFailed) return -1;
    if (rc == kLineKeyTooLong) {
      ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: the key is longer than %d bytes, line skipped!",
                  path, lineno, kMaxKeyLength);
      continue;
    }
    if (rc == kLineSkipped) continue;
    ++dict->line_num;
    if (dict->line_num >= dict->parameter.max_line) {
      if (dict->parameter.err_if_overflow_maxline == 1) {
        ul_writelog(UL_LOG_WARNING,
                    "dictname:[%s] the line_num reaches the maximum lines %d that the dict allows, "
                    "should break the loop and ingores the latter lines",
                    path, dict->parameter.max_line);
        std::printf(
            "dictname:[%s] the line_num reaches the maximum lines %d that the dict allows, should "
            "break the loop and ingores the latter lines. err_if_overflow_maxline:%d\n",
            path, dict->parameter.max_line, dict->parameter.err_if_overflow_maxline);
      }
      dict->parameter.overflow_max_line = 1;
      break;
    }
  }
  // A read error must not pass for the end of the file.
  if (reader.failed()) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when reads dict file %s.", path);
    return -1;
  }
  if (restore_item(dict) != kRestoreItemOk) return -1;
  if (dict->line_num > 0) {
    dict->is_empty = 0;
    if (dict->parameter.err_if_overflow_maxline == 1 && dict->parameter.overflow_max_line == 1) {
      return kLoadOverflow;
    }
    dict->load_type = kLoadedText;
    return 0;
  }
  hash_release(dict->pht);
  dict->pht = nullptr;
  return 0;
}

int find_line(const PbDict* dict, const char* key) {
  if (dict == nullptr || key == nullptr || dict->pht == nullptr) return -1;
  // No key of the table is longer than its limit (longer lines are skipped).
  if (strnlen(key, static_cast<size_t>(kMaxKeyLength) + 1) > static_cast<size_t>(kMaxKeyLength)) {
    return -1;
  }
  uint32_t value = 0;
  int found = 0;
  if (dict->parameter.tolower != 0) {
    // Fold a private copy, so both sides of the look-up fold alike.
    size_t n = strnlen(key, kLineBufferSize - 1);
    char small[256];
    std::unique_ptr<char[]> big;
    char* copy = small;
    if (n >= sizeof(small)) {
      big.reset(new (std::nothrow) char[n + 1]);
      if (!big) return -1;
      copy = big.get();
    }
    std::memcpy(copy, key, n);
    copy[n] = '\0';
    ul_trans2lower(copy, copy);
    found = hash_search(dict->pht, copy, &value);
  } else {
    found = hash_search(dict->pht, key, &value);
  }
  if (found != 1 || value > static_cast<uint32_t>(INT32_MAX)) return -1;
  return static_cast<int>(value);
}

int dset_search_item(const PbDict* dict, const char* key, google::protobuf::Message* found_item) {
  if (found_item == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL found_item when call function dset_search_item().");
    return -1;
  }
  if (dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL dict when call function dset_search_item().");
    return -1;
  }
  if (key == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Pass a NULL search key when call function dset_search_item().");
    return -1;
  }
  int line = find_line(dict, key);
  if (line < 0) return 0;
  if (line >= dict->line_num) {
    ul_writelog(UL_LOG_WARNING, "[PbDict] find__line overflow, line:%d, dictline:%d", line,
                dict->line_num);
    return 0;
  }
  if (dict->item == nullptr) return 1;
  const item_t value =
      dict->item[static_cast<size_t>(line) * dict->allvalueunit + dict->item_offset[0]];
  // Bytes that do not parse (a damaged file) are no answer: "found" with an
  // empty or partial message would pass lost data off as a value.
  if (value != nullptr && !found_item->ParseFromString(*value)) {
    ul_writelog(UL_LOG_WARNING, "[PbDict] the value of line %d does not parse as %s", line,
                found_item->GetTypeName().c_str());
    return -1;
  }
  return 1;
}

}  // namespace pbdict
}  // namespace kavo
