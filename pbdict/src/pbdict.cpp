// PbDict: the object, its parameters and the key look-up (the text load is
// in text_load.cpp).
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
#include "value_blocks.h"

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
      message_type(prototype),
      value_blocks(new ValueBlocks()) {
  if (param != nullptr) dset_change_parameter(this, param);
}

PbDict::~PbDict() {
  if (load_type == kLoadedBinary) {
    hash_binary_release(pht);
  } else {
    hash_release(pht);
  }
  pht = nullptr;
  // The values live in the blocks, freed whole.
  std::free(item);
  item = nullptr;
  value_blocks->Release();
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
