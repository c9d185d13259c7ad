// The binary dictionary: the "pbd" file (header and values) beside the "ht"
// key table, written and read by PbDict.
//
// Messages are the system's own texts, odd spelling included ("wirte",
// "writen_size", "noused", "form the file"): log readers match them, so they
// stay as they are.
//
// "pbd": a 1024-byte header area (tag seconds and microseconds as int64;
// is_empty, line_num, item_per_line, key_index, max_line, tolower as int32;
// one format byte per value column; the key format byte; comment_allowed as
// int32; zeros), then, for a non-empty dictionary, per value column
// line_num + 1 uint64 offsets and the values one after another.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "file_reader.h"
#include "hash_binary.h"
#include "load_parts.h"
#include "pbdict.h"
#include "pbdict_results.h"
#include "toolkit/file.h"
#include "toolkit/output_lock.h"
#include "toolkit/path.h"
#include "toolkit/replace.h"
#include "staged_dump.h"
#include "ul_log.h"
#include "value_blocks.h"

namespace kavo {
namespace pbdict {

namespace {

const int kHeadSize = 1024;
const size_t kPathSize = 256;

using toolkit::StreamWrite;
using toolkit::StreamWriteValue;

// "<path>/<name>.<ext>" into a 256-byte path; false (logged) when it does
// not fit, rather than cutting it to a path that names another file.
bool MakePath(char (&out)[kPathSize], const char* path, const char* name, const char* ext) {
  if (!toolkit::Concat(out, kPathSize, {path, "/", name, ".", ext})) {
    ul_writelog(UL_LOG_FATAL, "The path of %s/%s.%s is too long!", path, name, ext);
    return false;
  }
  return true;
}

// Logs that memory ran out, and what the write or the read was doing.
void LogOutOfMemory(const char* doing) {
  ul_writelog(UL_LOG_FATAL, "out of memory while %s!", doing);
}

// Makes the temporary of file and a stream over it; false when either cannot
// be had, logged as memory running out when that was the cause.
bool OpenStream(toolkit::FileReplacement* out, const char* file, const char* doing) {
  if (out->Open(file, 0666) && out->Stream() != nullptr) return true;
  if (errno == ENOMEM) LogOutOfMemory(doing);
  return false;
}

item_t* Slot(PbDict* dict, int column, int i) {
  return &dict->item[static_cast<size_t>(i) * dict->allvalueunit + dict->item_offset[column]];
}

// Releases the values of one value column.
int dest_release_item(PbDict* dict, int column) {
  if (dict == nullptr || column < 0 || column >= dict->item_per_line) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dest_release_item");
    return -1;
  }
  if (dict->item == nullptr) return 0;
  // The strings stay in the dictionary's blocks; their bytes go now.
  for (int i = 0; i < dict->line_num; ++i) {
    item_t* slot = Slot(dict, column, i);
    if (*slot != nullptr) std::string().swap(**slot);
    *slot = nullptr;
  }
  return 0;
}

// One value column: the offsets, then the values.
int dset_item_dump_v2(PbDict* dict, FILE* fp, int column) {
  if (dict == nullptr || fp == nullptr || dict->item == nullptr || column < 0 ||
      column >= dict->item_per_line) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_item_dump_v2");
    return -1;
  }
  std::vector<uint64_t> offsets;
  try {
    offsets.resize(static_cast<size_t>(dict->line_num) + 1);
  } catch (const std::bad_alloc&) {
    LogOutOfMemory("writing the values");
    return -1;
  }
  offsets[0] = 0;
  for (int i = 0; i < dict->line_num; ++i) {
    const item_t value = *Slot(dict, column, i);
    offsets[i + 1] = offsets[i] + (value != nullptr ? value->size() : 0);
  }
  if (!StreamWrite(fp, offsets.data(), offsets.size() * sizeof(uint64_t))) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when writes the file!");
    return -1;
  }
  for (int i = 0; i < dict->line_num; ++i) {
    const item_t value = *Slot(dict, column, i);
    if (value == nullptr || value->empty()) continue;
    size_t written = fwrite_unlocked(value->data(), 1, value->size(), fp);
    if (written != value->size()) {
      ul_writelog(UL_LOG_FATAL, "wirte bin string error: string: %s, size: %zu, writen_size: %zu",
                  value->c_str(), value->size(), written);
      return -1;
    }
  }
  return 0;
}

// The header area, then every value column of a non-empty dictionary.
int dsethead_binary_dump_data_v2(PbDict* dict, FILE* fp) {
  if (dict == nullptr || fp == nullptr || dict->item_per_line < 0 || dict->item_per_line > 1) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dsethead_binary_dump_data_v2");
    return -1;
  }
  static const char kZeros[kHeadSize] = {};
  if (!StreamWrite(fp, kZeros, sizeof(kZeros))) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when writes the noused 256*4 Byte to file!");
    return -1;
  }
  int64_t sec = dict->tag.tv_sec, usec = dict->tag.tv_usec;
  // The int fields are written as the format's int32.
  bool ok = std::fseek(fp, 0, SEEK_SET) == 0 && StreamWriteValue(fp, sec) &&
            StreamWriteValue(fp, usec) && StreamWriteValue<int32_t>(fp, dict->is_empty) &&
            StreamWriteValue<int32_t>(fp, dict->line_num) &&
            StreamWriteValue<int32_t>(fp, dict->item_per_line) &&
            StreamWriteValue<int32_t>(fp, dict->key_index) &&
            StreamWriteValue<int32_t>(fp, dict->parameter.max_line) &&
            StreamWriteValue<int32_t>(fp, dict->parameter.tolower) &&
            StreamWrite(fp, dict->format, static_cast<size_t>(dict->item_per_line)) &&
            StreamWrite(fp, &dict->key_format, 1) &&
            StreamWriteValue<int32_t>(fp, dict->parameter.comment_allowed);
  if (!ok) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when writes the file!");
    return -1;
  }
  if (std::fseek(fp, kHeadSize, SEEK_SET) != 0) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when writes the file!");
    return -1;
  }
  if (dict->is_empty != 0) return 0;
  for (int column = 0; column < dict->item_per_line; ++column) {
    if (dset_item_dump_v2(dict, fp, column) != 0) {
      ul_writelog(UL_LOG_FATAL, "Error occurs when dumps item row to the file!");
      return -1;
    }
  }
  return 0;
}

// Writes the "pbd" file under a temporary name beside file; the caller
// installs it. Stands for the opening of the file for writing: failures are
// logged here.
int dsethead_binary_dump_v2(PbDict* dict, toolkit::FileReplacement* out, const char* file) {
  if (dict == nullptr || out == nullptr || file == nullptr) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dsethead_binary_dump_v2");
    return -1;
  }
  // Mode 0666 under the umask, as fopen creates a file.
  if (!OpenStream(out, file, "writing the values")) {
    ul_writelog(UL_LOG_FATAL, "open the file %s failed!", file);
    return -1;
  }
  std::setvbuf(out->Stream(), nullptr, _IOFBF, 1 << 20);
  if (dsethead_binary_dump_data_v2(dict, out->Stream()) != 0) return -1;
  // Buffered bytes reach the file only here; a failed flush or sync is a
  // failed write.
  if (!out->Finish()) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when writes the file!");
    return -1;
  }
  return 0;
}

// The empty "ht" file of an empty dictionary, under a temporary name.
int save_empty_file(toolkit::FileReplacement* out, const char* file) {
  if (out == nullptr || file == nullptr) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "save_empty_file");
    return -1;
  }
  if (!out->Open(file, 0666)) {
    ul_writelog(UL_LOG_FATAL, "Open the file %s failure!", file);
    return -1;
  }
  return out->Finish() ? 0 : -1;
}

// The "ht" file of a non-empty dictionary, under a temporary name.
int save_hash_file(const hash_table_t* ht, toolkit::FileReplacement* out, const char* file) {
  if (!OpenStream(out, file, "writing the hash table")) return -1;
  std::setvbuf(out->Stream(), nullptr, _IOFBF, 1 << 20);
  const int written = hash_binary_write(ht, out->Stream());
  if (written == kHashOutOfMemory) LogOutOfMemory("writing the hash table");
  if (written != 0) return -1;
  return out->Finish() ? 0 : -1;
}

// The "pbd" file of an empty dictionary with dict's parameters, under a
// temporary name. Put in place before the new key table, it stands between
// the old values and the new keys: a write stopped between its renames
// leaves a pair the loader refuses (keys beside an empty dictionary), never
// old values read through new keys.
int save_barrier_file(PbDict* dict, toolkit::FileReplacement* out, const char* file) {
  // Opened first: the open may throw std::bad_alloc, and nothing after it
  // does, so the counts below always come back.
  if (!OpenStream(out, file, "writing the values")) return -1;
  const int is_empty = dict->is_empty, line_num = dict->line_num;
  dict->is_empty = 1;
  dict->line_num = 0;
  const bool ok = dsethead_binary_dump_data_v2(dict, out->Stream()) == 0 && out->Finish();
  dict->is_empty = is_empty;
  dict->line_num = line_num;
  return ok ? 0 : -1;
}

// Entries per part of a value column that loads on several threads, and the
// most parts.
constexpr size_t kEntriesPerPart = 1 << 16;
constexpr int kMostParts = 8;
// Bytes of values and offsets one part reads at a time.
constexpr size_t kChunkBytes = 64 << 10;
constexpr size_t kOffsetsPerRead = 4096;

// Where one value column lies in the "pbd" file.
struct ColumnInFile {
  const FileReader* reader;
  uint64_t offsets_at;  // file offset of the column's first offset
  uint64_t values_at;   // file offset of its first value
  uint64_t total;       // bytes of all its values
  mutable std::atomic<bool> out_of_memory{false};  // set by a part memory failed
};

// Loads the values of entries [first, end) of a column with positioned
// reads, so that parts of a column load at once: each value's offsets must
// not decrease, and each string is made in place in strings[i] from a chunk
// of the file, so that fresh memory is written once. On failure the strings
// not yet made are made empty: every string of the range exists.
bool LoadValueRange(PbDict* dict, int column, const ColumnInFile& in, std::string* strings,
                    size_t first, size_t end) {
  std::unique_ptr<uint64_t[]> offsets(new (std::nothrow) uint64_t[kOffsetsPerRead]);
  std::unique_ptr<char[]> chunk(new (std::nothrow) char[kChunkBytes]);
  if (!offsets || !chunk) in.out_of_memory = true;
  uint64_t begin = 0;  // where the value of entry i starts
  bool ok = offsets && chunk && in.reader->ReadAt(in.offsets_at + first * 8, &begin, 8);
  uint64_t chunk_start = 0, chunk_end = 0;  // the value bytes held in chunk
  size_t i = first;
  try {
    while (ok && i < end) {
      const size_t n = end - i < kOffsetsPerRead ? end - i : kOffsetsPerRead;
      if (!in.reader->ReadAt(in.offsets_at + (i + 1) * 8, offsets.get(), n * 8)) {
        ok = false;
        break;
      }
      for (size_t k = 0; k < n; ++k, ++i) {
        const uint64_t stop = offsets[k];
        if (stop < begin || stop > in.total) {
          ok = false;
          break;
        }
        const size_t len = static_cast<size_t>(stop - begin);
        std::string* value = &strings[i];
        if (len > kChunkBytes) {
          // A long value is read straight into its own string.
          std::string whole(len, '\0');
          if (!in.reader->ReadAt(in.values_at + begin, &whole[0], len)) {
            ok = false;
            break;
          }
          new (value) std::string(std::move(whole));
        } else {
          if (begin < chunk_start || stop > chunk_end) {
            chunk_start = begin;
            chunk_end = in.total - begin < kChunkBytes ? in.total : begin + kChunkBytes;
            if (!in.reader->ReadAt(in.values_at + begin, chunk.get(), chunk_end - chunk_start)) {
              ok = false;
              break;
            }
          }
          new (value) std::string(chunk.get() + (begin - chunk_start), len);
        }
        *Slot(dict, column, static_cast<int>(i)) = value;
        begin = stop;
      }
    }
  } catch (const std::bad_alloc&) {
    in.out_of_memory = true;
    ok = false;
  }
  for (; i < end; ++i) *Slot(dict, column, static_cast<int>(i)) = new (&strings[i]) std::string();
  return ok;
}

// Reads one value column: the offsets (starting at 0, never decreasing,
// ending at a total that the file holds), then each value, on up to `parts`
// threads. The reader stands at the column's offsets, which the file holds
// whole; it is left after the column.
int dset_item_load_v2(PbDict* dict, FileReader* reader, int column, int parts) {
  if (dict == nullptr || reader == nullptr || dict->item == nullptr || column < 0 ||
      column >= dict->item_per_line) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_item_load_v2");
    return -1;
  }
  const size_t count = static_cast<size_t>(dict->line_num);
  ColumnInFile in;
  in.reader = reader;
  in.offsets_at = reader->Tell();
  in.values_at = in.offsets_at + (count + 1) * sizeof(uint64_t);
  uint64_t first = 0;
  if (in.values_at > reader->size() || !reader->ReadAt(in.offsets_at, &first, 8) ||
      !reader->ReadAt(in.offsets_at + count * 8, &in.total, 8)) {
    return -1;
  }
  // The values end exactly where the file does: bytes after them would mean
  // a damaged or foreign file.
  if (first != 0 || in.total != reader->size() - in.values_at) return -1;
  // One block holds every string of the column.
  std::string* strings = dict->value_blocks->Unconstructed(count);
  if (strings == nullptr) {
    LogOutOfMemory("reading the values");
    return -1;
  }
  parts = PartsFor(count, kEntriesPerPart, parts < kMostParts ? parts : kMostParts);
  const bool ok = RunParts(parts, [&](int p) {
    return LoadValueRange(dict, column, in, strings, count * p / parts, count * (p + 1) / parts);
  });
  if (!ok || !reader->Seek(in.values_at + in.total)) {
    if (in.out_of_memory) LogOutOfMemory("reading the values");
    dest_release_item(dict, column);
    return -1;
  }
  return 0;
}

// Reads the header area and, for a dictionary with values, makes the item
// array; the values follow with dsethead_binary_load_items_v2.
int dsethead_binary_load_data_v_2(PbDict* dict, FileReader* reader) {
  if (dict == nullptr || reader == nullptr) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dsethead_binary_load_data_v_2");
    return -1;
  }
  int64_t sec = 0, usec = 0;
  int32_t head[6];  // is_empty, line_num, item_per_line, key_index, max_line, tolower
  if (!reader->Read(&sec, 8) || !reader->Read(&usec, 8) || !reader->Read(head, sizeof(head))) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when reads the file!");
    return -1;
  }
  const int32_t is_empty = head[0], line_num = head[1], item_per_line = head[2];
  // The format holds one value column at most, keyed by column 0.
  // The flags are 0 or 1 as the setters store them; an empty dictionary has
  // no entry and a non-empty one at least one.
  if (item_per_line < 0 || item_per_line > 1 || head[3] != 0 || (is_empty != 0 && is_empty != 1) ||
      (head[5] != 0 && head[5] != 1) || (is_empty == 1 && line_num != 0)) {
    ul_writelog(UL_LOG_FATAL, "Read wrong data!");
    return -1;
  }
  char format[1] = {0};
  char key_format = 0;
  int32_t comment_allowed = 0;
  if (!reader->Read(format, static_cast<size_t>(item_per_line)) || !reader->Read(&key_format, 1) ||
      !reader->Read(&comment_allowed, 4)) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when reads the file!");
    return -1;
  }
  if ((item_per_line == 1 && format[0] != 'b') || key_format != 's') {
    ul_writelog(UL_LOG_FATAL, "Read wrong data!");
    return -1;
  }
  if (reader->size() < static_cast<uint64_t>(kHeadSize)) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when seek to %d of the file!", kHeadSize);
    return -1;
  }
  // The rest of the header area is zeros.
  char rest[kHeadSize];
  const size_t rest_size = kHeadSize - static_cast<size_t>(reader->Tell());
  if (!reader->Read(rest, rest_size)) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when seek to %d of the file!", kHeadSize);
    return -1;
  }
  for (size_t i = 0; i < rest_size; ++i) {
    if (rest[i] != 0) {
      ul_writelog(UL_LOG_FATAL, "Read wrong data!");
      return -1;
    }
  }
  dict->tag.tv_sec = static_cast<time_t>(sec);
  dict->tag.tv_usec = static_cast<suseconds_t>(usec);
  dict->is_empty = is_empty;
  dict->item_per_line = item_per_line;
  dict->key_index = head[3];
  dict->parameter.max_line = head[4];
  dict->parameter.tolower = head[5];
  dict->format[0] = format[0];
  dict->key_format = key_format;
  dict->parameter.comment_allowed = comment_allowed;
  if (is_empty != 0 || item_per_line < 1) {
    // Nothing but the header: a longer file is not one of these.
    if (reader->Remaining() != 0 || (is_empty == 0 && line_num <= 0)) {
      ul_writelog(UL_LOG_FATAL, "Read wrong data! line num is:%d", line_num);
      return -1;
    }
    dict->line_num = line_num;
    return 0;
  }
  // Every entry needs its offset in the file: a count the file cannot hold
  // is refused before anything is allocated for it.
  if (line_num <= 0 || (static_cast<uint64_t>(line_num) + 1) * 8 > reader->Remaining()) {
    ul_writelog(UL_LOG_FATAL, "Read wrong data! line num is:%d", line_num);
    return -1;
  }
  dict->line_num = line_num;
  size_t slots = static_cast<size_t>(line_num) * dict->allvalueunit;
  dict->item = static_cast<item_t*>(std::calloc(slots, sizeof(item_t)));
  if (dict->item == nullptr) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when malloc memory for dict->item!");
    LogOutOfMemory("reading the values");
    return -1;
  }
  AdviseLargePages(dict->item, slots * sizeof(item_t));
  return 0;
}

// Loads the value columns whose header dsethead_binary_load_data_v_2 read,
// on up to `parts` threads.
int dsethead_binary_load_items_v2(PbDict* dict, FileReader* reader, int parts) {
  for (int column = 0; column < dict->item_per_line; ++column) {
    if (dset_item_load_v2(dict, reader, column, parts) != 0) {
      ul_writelog(UL_LOG_FATAL, "Error occurs when loads item row form the file!");
      return -1;
    }
  }
  return 0;
}

// True when the file at path is missing or an empty regular file.
bool EmptyOrMissing(const char* file) {
  toolkit::UniqueFd fd = toolkit::OpenForReading(file);
  if (!fd.ok()) return errno == ENOENT;
  struct stat st;
  return ::fstat(fd.get(), &st) == 0 && st.st_size == 0;
}

// What the two files say of each other: every key leads to an entry of the
// "pbd" file, and there are no more keys than entries.
bool KeysFitValues(const hash_table_t* ht, int line_num) {
  if (ht->size > line_num) return false;
  for (int i = 0; i < ht->size; ++i) {
    if (ht->nodes[i].value >= static_cast<uint32_t>(line_num)) return false;
  }
  return true;
}

}  // namespace

int dsethead_binary_release(PbDict* dict) {
  if (dict == nullptr) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dsethead_binary_release");
    return -1;
  }
  for (int column = 0; column < dict->item_per_line && column < 1; ++column) {
    if (dict->format[column] != 'b') {
      ul_writelog(UL_LOG_FATAL, "format is not 'b': %c", dict->format[column]);
    }
    // Every value is a byte string whatever its column's kind; none is left
    // behind when the array goes.
    dest_release_item(dict, column);
  }
  std::free(dict->item);
  dict->item = nullptr;
  dict->value_blocks->Release();
  return 0;
}

namespace {

// Loads the "pbd" file at values_file and the "ht" file at keys_file into
// an unloaded dictionary; name is the base name the messages give.
int LoadFiles(PbDict* dict, const char* values_file, const char* keys_file, const char* name) {
  if (dict->load_type != kNotLoaded || dict->item != nullptr || dict->pht != nullptr) {
    ul_writelog(UL_LOG_WARNING, "The dict is loaded already, it can not load %s.", name);
    return -1;
  }
  gettimeofday(&dict->reloadtime, nullptr);
  struct stat st;
  if (stat(values_file, &st) != 0) {
    ul_writelog(UL_LOG_FATAL, "binary dset head of %s not exist!", name);
    return -1;
  }
  FileReader values;
  if (!values.Open(values_file)) {
    if (errno == ENOMEM) LogOutOfMemory("reading the values");
    ul_writelog(UL_LOG_FATAL, "Open the file %s failed!", values_file);
    ul_writelog(UL_LOG_FATAL, "Errors occur when load the new binary dset head of %s!", name);
    return -1;
  }
  if (dsethead_binary_load_data_v_2(dict, &values) != 0) {
    dsethead_binary_release(dict);
    ul_writelog(UL_LOG_FATAL, "Errors occur when load the new binary dset head of %s!", name);
    return -1;
  }
  if (dict->is_empty != 0) {
    // The key table of an empty dictionary is empty; keys beside it belong
    // to another dictionary.
    if (!EmptyOrMissing(keys_file)) {
      ul_writelog(UL_LOG_FATAL, "Errors occur when load the binary hash table of %s!", name);
      return -1;
    }
    ul_writelog(UL_LOG_WARNING, "The file %s is empty, load an empty binary dictset!", name);
    return 0;
  }
  // The "ht" file is opened after the "pbd" file, as it always was (a write
  // replaces them in the other order). Given a second core, the key table
  // is read on a thread of its own while the values load here; either way a
  // damaged "pbd" file is the failure reported, whatever its keys hold.
  const int cores = UsableCores();
  FileReader keys;
  const bool keys_open = keys.Open(keys_file);
  hash_table_t* ht = nullptr;
  bool keys_out_of_memory = !keys_open && errno == ENOMEM;
  int loaded = 0;
  if (keys_open && cores > 1) {
    RunParts(2, [&](int part) {
      if (part == 0) {
        loaded = dsethead_binary_load_items_v2(dict, &values, cores - 1);
      } else {
        ht = hash_binary_read(&keys, cores, &keys_out_of_memory);
      }
      return true;
    });
  } else {
    loaded = dsethead_binary_load_items_v2(dict, &values, cores);
    if (loaded == 0 && keys_open) ht = hash_binary_read(&keys, cores, &keys_out_of_memory);
  }
  if (loaded != 0) {
    hash_binary_release(ht);
    dsethead_binary_release(dict);
    ul_writelog(UL_LOG_FATAL, "Errors occur when load the new binary dset head of %s!", name);
    return -1;
  }
  dict->pht = ht;
  if (dict->pht == nullptr) {
    if (keys_out_of_memory) LogOutOfMemory("reading the hash table");
    ul_writelog(UL_LOG_FATAL, "Errors occur when load the binary hash table of %s!", name);
    return -1;
  }
  if (!KeysFitValues(dict->pht, dict->line_num)) {
    hash_binary_release(dict->pht);
    dict->pht = nullptr;
    ul_writelog(UL_LOG_FATAL, "The hash table of %s does not match its dset head!", name);
    return -1;
  }
  dict->load_type = kLoadedBinary;
  return 0;
}

int BinaryLoad(PbDict* dict, const char* path, const char* name) {
  char values_file[kPathSize], keys_file[kPathSize];
  if (!MakePath(values_file, path, name, "pbd") || !MakePath(keys_file, path, name, "ht")) return -1;
  return LoadFiles(dict, values_file, keys_file, name);
}

}  // namespace

// Both files are written under temporary names and put in place only once
// both are complete and on disk (and, for the builder, read back), one
// rename after the other: a failed or killed write leaves the old pair as
// it was, and readers never see a half-written file. A lock beside the
// "pbd" file keeps a second writer of the same output out.
//
// Memory running out fails a write or a read like any failed step: the
// files are built under temporary names, which go when the write unwinds
// (or with this object), and a read's partial values are released.
int StagedDump::Write(PbDict* dict, const char* path, const char* name,
                      const std::vector<toolkit::FileId>& keep) {
  if (dict == nullptr || path == nullptr || name == nullptr || written_) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_binary_dump");
    return -1;
  }
  try {
    return WriteFiles(dict, path, name, keep);
  } catch (const std::bad_alloc&) {
    LogOutOfMemory("writing the binary dict");
    pbd_.Abandon();
    ht_.Abandon();
    barrier_.Abandon();
    return -1;
  }
}

int StagedDump::WriteFiles(PbDict* dict, const char* path, const char* name,
                           const std::vector<toolkit::FileId>& keep) {
  gettimeofday(&dict->tag, nullptr);
  if (dict->line_num < 1) dict->is_empty = 1;
  name_ = name;
  if (!MakePath(pbd_file_, path, name, "pbd") || !MakePath(ht_file_, path, name, "ht")) return -1;
  if (!lock_.TryLock(pbd_file_)) {
    if (errno == EWOULDBLOCK) {
      ul_writelog(UL_LOG_FATAL, "The binary dict %s is being written by another process!", name);
    } else {
      // The folder cannot take the lock file, so it cannot take the files.
      ul_writelog(UL_LOG_FATAL, "open the file %s failed!", pbd_file_);
      ul_writelog(UL_LOG_FATAL, "Errors occur when dump the dset head of %s!", name);
    }
    return -1;
  }
  // Leftovers of writes that were killed: no writer owns them now. The
  // inputs stay, whatever their names, and so do the old files that
  // installs kept (they may be the only copy of the previous dictionary)
  // until this write is in place.
  inputs_ = keep;
  if (dict->source_ino != 0) inputs_.push_back(toolkit::FileId{dict->source_dev, dict->source_ino});
  toolkit::RemoveStaleTemporaries(pbd_file_, lock_, inputs_);
  toolkit::RemoveStaleTemporaries(ht_file_, lock_, inputs_);
  if (dsethead_binary_dump_v2(dict, &pbd_, pbd_file_) != 0) {
    ul_writelog(UL_LOG_FATAL, "Errors occur when dump the dset head of %s!", name);
    return -1;
  }
  empty_ = dict->is_empty != 0;
  if (empty_) {
    if (save_empty_file(&ht_, ht_file_) != 0) {
      ul_writelog(UL_LOG_FATAL, "Errors occur when dump the empty hash file of %s!", name);
      return -1;
    }
  } else if (save_hash_file(dict->pht, &ht_, ht_file_) != 0) {
    ul_writelog(UL_LOG_FATAL, "Errors occur when dump the hash table of %s!", name);
    return -1;
  } else if (save_barrier_file(dict, &barrier_, pbd_file_) != 0) {
    // Written now, while the dictionary is at hand; Install decides
    // whether an old dictionary needs it.
    ul_writelog(UL_LOG_FATAL, "Errors occur when dump the dset head of %s!", name);
    return -1;
  }
  written_ = true;
  return 0;
}

int StagedDump::Load(PbDict* into) {
  if (into == nullptr || !written_) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_binary_load");
    return -1;
  }
  try {
    return LoadFiles(into, pbd_.temp_path().c_str(), ht_.temp_path().c_str(), name_.c_str());
  } catch (const std::bad_alloc&) {
    LogOutOfMemory("reading the binary dict");
    dsethead_binary_release(into);
    return -1;
  }
}

int StagedDump::Install() {
  if (!written_) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_binary_dump");
    return -1;
  }
  written_ = false;
  // The renames follow each other: the key table first, the values last.
  // Over an existing non-empty dictionary the barrier goes in first, so
  // that no moment (and no kill) pairs the old values with the new keys:
  // until the new values are in place the pair is refused, never read
  // wrongly. (New keys beside old values would answer with other keys'
  // values whenever the counts allow it.)
  struct stat old_pbd;
  const bool barrier = !empty_ && ::lstat(pbd_file_, &old_pbd) == 0;
  toolkit::FileReplacement* order[] = {&barrier_, &ht_, &pbd_};
  toolkit::FileReplacement* const* first = barrier ? order : order + 1;
  const size_t count = barrier ? 3 : 2;
  const toolkit::InstallResult done = toolkit::InstallTogether(first, count);
  barrier_.Abandon();
  if (done.installed) {
    try {
      toolkit::RemoveStaleBackups(pbd_file_, lock_, inputs_);
      toolkit::RemoveStaleBackups(ht_file_, lock_, inputs_);
    } catch (const std::bad_alloc&) {
      // The new files are in place all the same; a later run removes what
      // stays.
    }
    lock_.Unlock();
    return 0;
  }
  if (done.error == ENOMEM) LogOutOfMemory("putting the binary dict in place");
  if (first[done.failed] == &ht_) {
    ul_writelog(UL_LOG_FATAL, "Errors occur when dump the hash table of %s!", name_.c_str());
  } else {
    ul_writelog(UL_LOG_FATAL, "Errors occur when dump the dset head of %s!", name_.c_str());
  }
  if (done.put_back) return -1;
  // The pair stands as the install left it, which the loader refuses (the
  // barrier, or the new key table, stands beside the old values file).
  for (size_t i = 0; i < count; ++i) {
    if (!first[i]->backup_path().empty()) {
      ul_writelog(UL_LOG_FATAL, "The old file %s of %s could not be put back, it is kept as %s!",
                  first[i]->path().c_str(), name_.c_str(), first[i]->backup_path().c_str());
    }
  }
  return kDumpNotPutBack;
}

int dset_binary_dump(PbDict* dict, const char* path, const char* name) {
  StagedDump dump;
  return dump.Write(dict, path, name) == 0 && dump.Install() == 0 ? 0 : -1;
}

int dset_binary_load(PbDict* dict, const char* path, const char* name) {
  if (dict == nullptr || path == nullptr || name == nullptr) {
    ul_writelog(UL_LOG_WARNING, "%s() param error", "dset_binary_load");
    return -1;
  }
  try {
    return BinaryLoad(dict, path, name);
  } catch (const std::bad_alloc&) {
    LogOutOfMemory("reading the binary dict");
    dsethead_binary_release(dict);
    return -1;
  }
}

int PbDict::binary_dump(const char* path, const char* name) {
  return dset_binary_dump(this, path, name);
}

int PbDict::binary_load(const char* path, const char* name) {
  return dset_binary_load(this, path, name);
}

}  // namespace pbdict
}  // namespace kavo
