// dset_load: the text dictionary load.
//
// The file is read in batches of whole lines. Each line is split, its key
// checked and its JSON value converted and serialised in the batch's own
// record. When the process may use more than one core (and the file holds
// more than one batch), a reader thread reads the batches and worker threads
// convert them; else the calling thread does both. The calling thread then
// takes the batches in file order
// and does all that one line after another would: the log lines, the entry
// numbers, the key table, the stop at the first failed line and at max_line.
// What a line's conversion reports (values passed over, the protobuf
// library's own messages) is kept with the line and logged when it is taken.
// Whatever the number of workers, the dictionary and the log are the same.
//
// Messages are the system's own texts, odd spelling included ("ingores"):
// log readers match them, so they stay as they are.

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "file_reader.h"
#include "hash_built.h"
#include "json_to_pb.h"
#include "load_parts.h"
#include "pbdict.h"
#include "pbdict_results.h"
#include "protobuf_log.h"
#include "toolkit/queue.h"
#include "toolkit/worker.h"
#include "ul_log.h"
#include "ul_transch.h"
#include "value_blocks.h"
#include "value_report.h"

namespace kavo {
namespace pbdict {

namespace {

// A batch ends after the line that brings its text past this size.
constexpr size_t kBatchBytes = 64 * 1024;
// Batches read ahead of the one being taken, per worker.
constexpr size_t kBatchesPerWorker = 4;
// Most workers; more would mostly wait for the calling thread.
constexpr int kMostWorkers = 32;

// What the conversion of one line found.
enum class LineKind : uint8_t {
  kRefused,         // empty or longer than the line buffer
  kFewItems,        // fewer columns than a key and its values
  kComment,         // the key starts with '#' and comments are allowed
  kKeyTooLong,      // the key is longer than a key of the table may be
  kParseError,      // the value is not JSON of the message type
  kSerializeError,  // the message lacks a required field
  kOutOfMemory,     // memory ran out while the value was converted
  kEntry,           // a key and its serialised value
};

struct LineRecord {
  int lineno = 0;       // of the file, from 1
  size_t text = 0;      // offset of the line (NUL-terminated) in the batch
  size_t key = 0;       // offset of the key (kEntry)
  size_t key_len = 0;   // its length as the key table keeps it
  uint32_t hash = 0;    // its full hash in the key table
  LineKind kind = LineKind::kRefused;
  std::string value;    // the serialised message (kEntry with a value column)
  std::string report;   // values the conversion passed over (its error text)
  ProtobufLog library_log;  // the protobuf library's messages for the line
};

struct Batch {
  std::unique_ptr<char[]> text;  // lines one after another, each NUL-terminated
  size_t used = 0;
  std::vector<LineRecord> lines;
  size_t count = 0;              // records of lines in use
  bool end = false;              // the file ended after these lines
  bool read_failed = false;      // ... with a read error
  int out_of_memory_at = 0;      // ... as memory ran out for this line's record
  bool done = false;             // converted (guarded by the pool's lock)
};

// Checks one line as read (len bytes, NUL-terminated) and strips its line
// end. False when the line is refused: empty, or longer than the buffer. A
// line that fills the buffer without its newline is either too long or the
// file's last line; the rest is dropped, and the part read is kept only
// when the file ended inside the line.
bool pre_process_line(FileReader* reader, char* line, size_t* len) {
  if (*len == 0 || line[0] == '\n') return false;
  if (line[*len - 1] != '\n' && reader->SkipLine()) return false;
  while (*len > 0 && (line[*len - 1] == '\n' || line[*len - 1] == '\r')) line[--*len] = '\0';
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

// Reads lines into a batch until it is full or the file ends (or memory
// runs out for the record of a line, which ends the reading too).
void FillBatch(FileReader* reader, Batch* batch, int* lineno) {
  batch->used = 0;
  batch->count = 0;
  batch->end = false;
  batch->read_failed = false;
  batch->out_of_memory_at = 0;
  batch->done = false;
  while (batch->used < kBatchBytes) {
    char* line = batch->text.get() + batch->used;
    size_t len = 0;
    if (!reader->ReadLine(line, kLineBufferSize, &len)) {
      batch->end = true;
      batch->read_failed = reader->failed();
      return;
    }
    if (batch->count == batch->lines.size()) {
      try {
        batch->lines.emplace_back();
      } catch (const std::bad_alloc&) {
        batch->end = true;
        batch->out_of_memory_at = *lineno + 1;
        return;
      }
    }
    LineRecord& rec = batch->lines[batch->count++];
    rec.lineno = ++*lineno;
    rec.text = batch->used;
    rec.kind = pre_process_line(reader, line, &len) ? LineKind::kEntry : LineKind::kRefused;
    batch->used += len + 1;
  }
}

// Converts the lines of batches; one per thread.
class LineConverter {
 public:
  explicit LineConverter(const PbDict* dict)
      : dict_(dict),
        message_(dict->message_type != nullptr ? dict->message_type->New() : nullptr) {}

  void Convert(Batch* batch) {
    for (size_t i = 0; i < batch->count; ++i) {
      LineRecord& rec = batch->lines[i];
      rec.report.clear();
      rec.library_log.clear();
      if (rec.kind == LineKind::kRefused) continue;
      rec.kind = ConvertLine(batch->text.get(), &rec);
    }
  }

 private:
  // Splits one accepted line, checks its key and converts its value.
  LineKind ConvertLine(char* base, LineRecord* rec) {
    const char* separator = dict_->parameter.separator;
    char* rest = base + rec->text;
    for (int col = 0; col <= dict_->item_per_line; ++col) {
      char* token = nullptr;
      if (rest != nullptr) rest = get_token(rest, &token, separator);
      if (token == nullptr || *token == '\0') return LineKind::kFewItems;
      if (col == dict_->key_index) {
        if (dict_->parameter.comment_allowed != 0 && token[0] == '#') return LineKind::kComment;
        // The key table keeps keys up to its limit: a longer key would be
        // stored cut, answer for its prefix and collide with other long keys.
        if (std::strlen(token) > static_cast<size_t>(kMaxKeyLength)) return LineKind::kKeyTooLong;
        if (dict_->parameter.tolower != 0) ul_trans2lower(token, token);
        rec->key = static_cast<size_t>(token - base);
        rec->hash = hash_key_hash(token, &rec->key_len);
        continue;
      }
      const LineKind kind = ConvertValue(token, rec);
      if (kind != LineKind::kEntry) return kind;
    }
    return LineKind::kEntry;
  }

  // Converts one JSON value to a message and serialises it into the
  // record's value; the values passed over and the library's messages go
  // into the record too.
  LineKind ConvertValue(const char* json, LineRecord* rec) {
    std::string* bytes = &rec->value;
    bytes->clear();
    if (out_of_memory_) return LineKind::kOutOfMemory;
    // A dictionary made without a value type takes no value.
    if (!message_) return LineKind::kParseError;
    ProtobufLogScope library_log(&rec->library_log);
    try {
      message_->Clear();
      json_.assign(json);
      if (!JsonToProtoMessage(json_, message_.get(), Json2PbOptions(), &error_)) {
        return LineKind::kParseError;
      }
      // An optional field given a value of another kind was passed over.
      if (!error_.empty()) {
        if (!rec->report.empty()) rec->report += ", ";
        rec->report += error_;
      }
      // A message with a required field unset cannot be serialised; protobuf
      // would abort the process, so such a value fails the line instead.
      if (!message_->IsInitialized() || !message_->SerializePartialToString(bytes)) {
        return LineKind::kSerializeError;
      }
    } catch (const std::bad_alloc&) {
      // Memory ran out with the message half filled, in a state protobuf
      // cannot clear or even delete: it is given up (left to the process's
      // end). The load fails at this line, so the lines after it, which are
      // all this converter gets from now on (batches come in file order),
      // are not converted.
      message_.release();
      out_of_memory_ = true;
      return LineKind::kOutOfMemory;
    } catch (const std::exception&) {
      return LineKind::kParseError;
    }
    return LineKind::kEntry;
  }

  const PbDict* dict_;
  std::unique_ptr<google::protobuf::Message> message_;
  std::string json_;   // the value's text, kept for its buffer
  std::string error_;  // the conversion's report, kept for its buffer
  bool out_of_memory_ = false;  // a conversion ran out of memory
};

// Worker threads that convert batches pushed to them, in any order; the
// caller waits for each batch it takes.
class ConvertPool {
 public:
  // Throws std::bad_alloc only before a worker starts: the destructor,
  // which closes the queue the workers wait on, must run for any that did.
  ConvertPool(const PbDict* dict, int workers, size_t queue_size) : queue_(queue_size) {
    converters_.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) converters_.emplace_back(new LineConverter(dict));
    threads_.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
      toolkit::WorkerThread* thread = new (std::nothrow) toolkit::WorkerThread();
      if (thread == nullptr) break;
      threads_.emplace_back(thread);
      LineConverter* converter = converters_[static_cast<size_t>(i)].get();
      if (!threads_.back()->Start([this, converter](const toolkit::StopToken&) { Run(converter); })) {
        threads_.pop_back();
        break;
      }
    }
  }
  // Drops the batches not yet taken and waits for the workers.
  ~ConvertPool() {
    queue_.Clear();
    queue_.Close();
    for (auto& t : threads_) t->Stop();
  }
  ConvertPool(const ConvertPool&) = delete;
  ConvertPool& operator=(const ConvertPool&) = delete;

  // False when no worker runs.
  bool ok() const { return !threads_.empty(); }

  // The queue holds every batch in flight, so a push never waits.
  void Submit(Batch* batch) { queue_.Push(batch); }

  void Wait(Batch* batch) {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [batch] { return batch->done; });
  }

 private:
  void Run(LineConverter* converter) {
    Batch* batch = nullptr;
    while (queue_.Pop(&batch)) {
      converter->Convert(batch);
      {
        std::lock_guard<std::mutex> lock(mu_);
        batch->done = true;
      }
      done_.notify_all();
    }
  }

  toolkit::BlockingQueue<Batch*> queue_;
  std::mutex mu_;
  std::condition_variable done_;
  std::vector<std::unique_ptr<LineConverter>> converters_;
  std::vector<std::unique_ptr<toolkit::WorkerThread>> threads_;
};

// Deletes the values of one entry (after a failed line).
void ReleaseEntry(PbDict* dict, int index) {
  if (dict->item == nullptr) return;
  for (int j = 0; j < dict->allvalueunit; ++j) {
    item_t& slot = dict->item[static_cast<size_t>(index) * dict->allvalueunit + j];
    if (slot != nullptr) std::string().swap(*slot);
    slot = nullptr;
  }
}

// Results of TakeBatch.
enum class TakeResult { kGoOn, kStop, kFailed };

// Logs that memory ran out and what the load was doing (at a line of the
// file, or before any when lineno is 0); the load then fails.
void LogOutOfMemory(const char* path, int lineno, const char* doing) {
  if (lineno > 0) {
    ul_writelog(UL_LOG_FATAL, "dict-set:[%s]-line[%d]: out of memory while %s!", path, lineno, doing);
  } else {
    ul_writelog(UL_LOG_FATAL, "dict-set:[%s]: out of memory while %s!", path, doing);
  }
}

// Lines ahead of the one taken whose bucket, and then chain, are fetched
// early: the key table is far larger than the caches.
constexpr size_t kBucketAhead = 16;
constexpr size_t kChainAhead = 8;

void Prefetch(const PbDict* dict, const Batch* batch, size_t i, bool chain) {
  if (i < batch->count && batch->lines[i].kind == LineKind::kEntry) {
    hash_prefetch(dict->pht, batch->lines[i].hash, chain);
  }
}

// Takes the converted lines of a batch into the dictionary, in order. The
// values passed over and the library's messages of a line are logged first,
// as they came before what the line's taking logs.
TakeResult TakeBatch(PbDict* dict, Batch* batch, const char* path) {
  char* base = batch->text.get();
  for (size_t i = 0; i < kBucketAhead; ++i) Prefetch(dict, batch, i, false);
  for (size_t i = 0; i < batch->count; ++i) {
    Prefetch(dict, batch, i + kBucketAhead, false);
    Prefetch(dict, batch, i + kChainAhead, true);
    LineRecord& rec = batch->lines[i];
    const char* line = base + rec.text;
    if (!rec.report.empty()) LogPassedOver(path, rec.lineno, rec.report);
    if (!rec.library_log.empty()) ProtobufLogCapture::Pass(&rec.library_log);
    switch (rec.kind) {
      case LineKind::kRefused:
        ul_writelog(UL_LOG_WARNING, "dict-set:[%s]-line[%d]: line is empty or too long! [%s]", path,
                    dict->line_num, line);
        continue;
      case LineKind::kFewItems:
        ul_writelog(UL_LOG_WARNING, "There is a line:[%s] with items less than expectation.", line);
        continue;
      case LineKind::kComment:
        continue;
      case LineKind::kKeyTooLong:
        ul_writelog(UL_LOG_WARNING,
                    "dict-set:[%s]-line[%d]: the key is longer than %d bytes, line skipped!", path,
                    rec.lineno, kMaxKeyLength);
        continue;
      case LineKind::kParseError:
        ul_writelog(UL_LOG_FATAL, "protobuf parse error");
        return TakeResult::kFailed;
      case LineKind::kSerializeError:
        ul_writelog(UL_LOG_FATAL, "protobuf parse to string error");
        return TakeResult::kFailed;
      case LineKind::kOutOfMemory:
        LogOutOfMemory(path, rec.lineno, "converting the value");
        return TakeResult::kFailed;
      case LineKind::kEntry:
        break;
    }
    const int index = dict->line_num;
    if (dict->item_per_line > 0) {
      std::string* value = dict->value_blocks->New();
      if (value == nullptr) {
        LogOutOfMemory(path, rec.lineno, "storing the value");
        return TakeResult::kFailed;
      }
      dict->item[static_cast<size_t>(index) * dict->allvalueunit + dict->item_offset[0]] = value;
      // A copy, made here: the dictionary's memory comes from this thread's
      // malloc arena, which later loads reuse once it is freed, and the
      // record keeps its buffer for the worker's next line.
      try {
        value->assign(rec.value);
      } catch (const std::bad_alloc&) {
        LogOutOfMemory(path, rec.lineno, "storing the value");
        ReleaseEntry(dict, index);
        return TakeResult::kFailed;
      }
    }
    int rc = hash_insert_hashed(dict->pht, base + rec.key, rec.key_len, rec.hash,
                                static_cast<uint32_t>(index));
    if (rc < 0) {
      ul_writelog(UL_LOG_FATAL, "Not enough memory when inserting string to hash.");
      LogOutOfMemory(path, rec.lineno, "inserting the key");
      ReleaseEntry(dict, index);
      return TakeResult::kFailed;
    }
    if (rc == kHashKeyPresent && dict->parameter.dedup != 0) {
      ul_writelog(UL_LOG_WARNING, "Found duplicate key.");
      ReleaseEntry(dict, index);
      return TakeResult::kFailed;
    }
    // A repeated key without dedup still takes its entry; the key keeps the
    // index of its first line.
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
      return TakeResult::kStop;
    }
  }
  // A read error must not pass for the end of the file.
  if (batch->read_failed) {
    ul_writelog(UL_LOG_FATAL, "Error occurs when reads dict file %s.", path);
    return TakeResult::kFailed;
  }
  if (batch->out_of_memory_at > 0) {
    LogOutOfMemory(path, batch->out_of_memory_at, "reading the line");
    return TakeResult::kFailed;
  }
  return batch->end ? TakeResult::kStop : TakeResult::kGoOn;
}

// A batch with room for its bytes and one more line of the longest length.
std::unique_ptr<Batch> NewBatch() {
  std::unique_ptr<Batch> batch(new (std::nothrow) Batch());
  if (batch) batch->text.reset(new (std::nothrow) char[kBatchBytes + kLineBufferSize]);
  if (!batch || !batch->text) return nullptr;
  return batch;
}

// Reads, converts and takes every line. False when the load failed (logged).
bool LoadLines(PbDict* dict, FileReader* reader, const char* path) {
  // Outlives the workers: their messages are caught until they end.
  ProtobufLogCapture library_log;
  int workers = UsableCores();
  if (workers > kMostWorkers) workers = kMostWorkers;
  // A file of one batch gains nothing from threads.
  if (reader->size() <= kBatchBytes) workers = 1;
  int lineno = 0;

  const size_t batches = workers > 1 ? kBatchesPerWorker * static_cast<size_t>(workers) : 1;
  std::vector<std::unique_ptr<Batch>> owned;
  std::vector<Batch*> free_batches;
  for (size_t i = 0; i < batches; ++i) {
    std::unique_ptr<Batch> batch = NewBatch();
    if (!batch) break;
    free_batches.push_back(batch.get());
    owned.push_back(std::move(batch));
  }
  if (owned.empty()) {
    LogOutOfMemory(path, 0, "preparing the reading");
    return false;
  }

  std::unique_ptr<ConvertPool> pool;
  if (workers > 1 && owned.size() > 1) {
    pool.reset(new ConvertPool(dict, workers, owned.size()));
    if (!pool->ok()) pool.reset();
  }
  if (!pool) {
    LineConverter converter(dict);
    Batch* batch = owned.front().get();
    for (;;) {
      FillBatch(reader, batch, &lineno);
      converter.Convert(batch);
      const TakeResult r = TakeBatch(dict, batch, path);
      if (r != TakeResult::kGoOn) return r == TakeResult::kStop;
    }
  }

  // A reader thread fills free batches with the lines in file order and
  // hands each to the workers and, in the same order, to this thread, which
  // takes them one after another and gives each back once taken. Reading
  // ends at the end of the file; taking at the first stop, which also stops
  // the reader (closing the free batches wakes it).
  toolkit::BlockingQueue<Batch*> free_queue(owned.size());
  toolkit::BlockingQueue<Batch*> read_queue(owned.size());
  for (Batch* batch : free_batches) free_queue.Push(batch);
  toolkit::WorkerThread reading;
  const bool started = reading.Start([&](const toolkit::StopToken&) {
    Batch* batch = nullptr;
    while (free_queue.Pop(&batch)) {
      FillBatch(reader, batch, &lineno);
      pool->Submit(batch);
      read_queue.Push(batch);
      if (batch->end) break;
    }
  });
  if (!started) {
    LogOutOfMemory(path, 0, "preparing the reading");
    return false;
  }
  TakeResult r = TakeResult::kGoOn;
  while (r == TakeResult::kGoOn) {
    Batch* batch = nullptr;
    read_queue.Pop(&batch);
    pool->Wait(batch);
    r = TakeBatch(dict, batch, path);
    free_queue.Push(batch);
  }
  free_queue.Close();
  reading.Stop();
  return r == TakeResult::kStop;
}

}  // namespace

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
  if (dict->load_type != kNotLoaded || dict->item != nullptr || dict->pht != nullptr) {
    ul_writelog(UL_LOG_WARNING, "The dict is loaded already, it can not load %s.", path);
    return -1;
  }
  FileReader reader;
  if (!reader.Open(path)) {
    if (errno == ENOMEM) LogOutOfMemory(path, 0, "opening the file");
    ul_writelog(UL_LOG_FATAL, "Can't open dict file %s.", path);
    return -1;
  }
  dict->source_dev = reader.id().dev;
  dict->source_ino = reader.id().ino;
  // Given a dictionary, only memory fails these two (as logged).
  if (init_dictset(dict) != 0) {
    LogOutOfMemory(path, 0, "preparing the dict");
    return -1;
  }
  dict->line_num = 0;
  gettimeofday(&dict->reloadtime, nullptr);

  // Memory running out as the reading and the workers are set up fails the
  // load like any other: no exception leaves it. (Once they run, nothing
  // they do throws.)
  bool loaded = false;
  try {
    loaded = LoadLines(dict, &reader, path);
  } catch (const std::bad_alloc&) {
    LogOutOfMemory(path, 0, "preparing the reading");
  }
  if (!loaded) return -1;
  if (restore_item(dict) != kRestoreItemOk) {
    LogOutOfMemory(path, 0, "shrinking the item array");
    return -1;
  }
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

}  // namespace pbdict
}  // namespace kavo
