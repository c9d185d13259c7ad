// Saving and loading the build-side dictionary: NAME.n (numbers), NAME.ind1
// (bucket starts, then bucket counts) and NAME.ind2 (16-byte records grouped
// by bucket, in chain order, deleted nodes left out). Little-endian, no header.
#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "db_internal.h"
#include "dict_check.h"
#include "dict_file.h"
#include "dict_out.h"
#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_file.h"
#include "ul_func.h"
#include "ul_log.h"

using dict_internal::DictPath;
using dict_internal::FilesExist;
using dict_internal::FileSize;
using dict_internal::kPathSize;
using dict_internal::Numbers;
using dict_internal::NumbersDir;
using dict_internal::NumbersLog;
using dict_internal::OpenRead;
using dict_internal::ReadNumbers;
using dict_internal::OutFile;
using toolkit::UniqueFd;

static_assert(sizeof(Sdict_snode) == 16, "Sdict_snode is the 16-byte file record");

namespace {

constexpr int kBufRecords = 4096;  // 65536-byte write pieces
constexpr int kCrowdedBucket = 125;

using dict_internal::UlArray;
using dict_internal::Zeroed;

// Buffers records and writes them 4096 at a time.
class RecordWriter {
 public:
  explicit RecordWriter(OutFile* out) : out_(out) {}
  bool Add(const Sdict_bnode& n) {
    buf_[used_++] = Sdict_snode{n.sign1, n.sign2, n.code, n.other};
    ++written_;
    return used_ < kBufRecords || Flush();
  }
  bool Flush() {
    const bool ok = used_ == 0 || out_->Write(buf_.data(), sizeof(Sdict_snode) * used_);
    used_ = 0;
    return ok;
  }
  int written() const { return written_; }

 private:
  OutFile* out_;
  std::vector<Sdict_snode> buf_ = std::vector<Sdict_snode>(kBufRecords);
  int used_ = 0;
  int written_ = 0;
};

// The bucket index being built: start and record count of every bucket.
struct BucketIndex {
  explicit BucketIndex(int hash_num)
      : starts(Zeroed<u_int>(hash_num)),
        counts(Zeroed<u_int>(hash_num)) {}
  bool ok() const { return starts && counts; }
  UlArray<u_int> starts;
  UlArray<u_int> counts;
};

// Writes NAME.ind2 and NAME.ind1 for the nodes that pass keep() under
// temporary names (the caller commits them), filling index (allocated by the
// caller, zeroed). Returns 1, -1 when a write fails, -3 when a file cannot be
// created; *written receives the number of records written.
template <typename Keep>
int WriteIndexFiles(const Sdict_build* pdb, BucketIndex* index, const char* path,
                    const char* fname, bool warn, Keep keep, int* written, OutFile* f1,
                    OutFile* f2) {
  *written = 0;
  const size_t hn = static_cast<size_t>(pdb->hash_num);
  u_int* starts = index->starts.get();
  u_int* counts = index->counts.get();
  char file[kPathSize];
  if (!DictPath(file, path, fname, ".ind2") || !f2->Create(file)) return -3;
  RecordWriter out(f2);
  for (int b = 0; b < pdb->hash_num; ++b) {
    starts[b] = static_cast<u_int>(out.written());
    for (const Sdict_bnode* p = pdb->hash[b].pnode; p != nullptr; p = p->next) {
      if (p->code < 0 || !keep(*p)) continue;
      if (!out.Add(*p)) return -1;
      ++counts[b];
    }
    if (warn && counts[b] > kCrowdedBucket) {
      ul_writelog(UL_LOG_WARNING, "[db_save] too many items in one hash entry: %d",
                  static_cast<int>(counts[b]));
    }
  }
  if (!out.Flush()) return -1;
  *written = out.written();
  if (!DictPath(file, path, fname, ".ind1") || !f1->Create(file)) return -3;
  if (!f1->Write(starts, hn * sizeof(u_int)) || !f1->Write(counts, hn * sizeof(u_int))) return -1;
  return 1;
}

// Live nodes in bucket order, as db_save counts them.
int LiveNodes(const Sdict_build* pdb) {
  int n = 0;
  for (int b = 0; b < pdb->hash_num; ++b) {
    for (const Sdict_bnode* p = pdb->hash[b].pnode; p != nullptr; p = p->next) n += p->code >= 0;
  }
  return n;
}

using dict_internal::ForEachUsedNode;

// Reads the numbers of a saved dictionary (hash_num only when wanted < 1)
// and checks them against the files, so that a truncated or foreign file set
// is refused before anything is allocated from its counts.
bool ReadBuildNumbers(const char* path, const char* fname, int wanted_hash, Numbers* out) {
  if (!ReadNumbers(path, fname, wanted_hash, NumbersLog::kBuild, out)) return false;
  if (wanted_hash < 1) {
    // The saved bucket count is used: its index must have that size.
    char file[kPathSize];
    if (!DictPath(file, path, fname, ".ind1")) return false;
    UniqueFd f1 = OpenRead(file);
    if (!f1.ok() || FileSize(f1.get()) != 8 * static_cast<int64_t>(out->hash_num)) {
      ul_writelog(UL_LOG_WARNING, "File %s/%s.ind1 does not hold %d buckets.", path, fname,
                  out->hash_num);
      return false;
    }
  }
  return true;
}

// Applies every record of NAME.ind2 to a new dictionary. zero_other drops
// frequencies and weights (older loader). NULL when anything disagrees.
Sdict_build* LoadRecords(const char* path, const char* fname, const Numbers& nums,
                         bool zero_other) {
  char file[kPathSize];
  if (!DictPath(file, path, fname, ".ind2")) return nullptr;
  UniqueFd f2 = OpenRead(file);
  if (!f2.ok()) return nullptr;
  if (FileSize(f2.get()) != 16 * static_cast<int64_t>(nums.node_num)) {
    ul_writelog(UL_LOG_WARNING, "[db_load] node_num error");
    return nullptr;
  }
  Sdict_build* pdb = db_creat(nums.hash_num, nums.cur_code);
  if (pdb == nullptr) return nullptr;
  std::vector<Sdict_snode> buf(kBufRecords);
  int left = nums.node_num;
  while (left > 0) {
    const int n = left < kBufRecords ? left : kBufRecords;
    if (!dict_internal::ReadAll(f2.get(), buf.data(), sizeof(Sdict_snode) * n)) {
      ul_writelog(UL_LOG_WARNING, "[db_load] node_num error");
      db_del(pdb);
      return nullptr;
    }
    int r;
    if (zero_other) {
      r = 1;
      for (int i = 0; i < n && r >= 0; ++i) {
        buf[i].other = 0;
        r = db_op1(pdb, &buf[i], ADD);
      }
    } else {
      r = db_opn(pdb, buf.data(), n, ADD);
    }
    if (r < 0) {
      db_del(pdb);
      return nullptr;
    }
    left -= n;
  }
  return pdb;
}

}  // namespace

int CmpsPath(char* buffer, const char* dir, const char* file, int size) {
  DICT_CHECK(buffer != nullptr, "buffer");
  if (size <= 0) return -1;
  return toolkit::JoinPath(buffer, static_cast<size_t>(size), dir, file) ? 0 : -1;
}

// Every file is written under a temporary name and the set replaces the old
// one only once complete and on disk (the numbers file last), so a failed
// or killed save leaves the old dictionary loadable, and a process that
// mapped the old files keeps them.
int db_save(Sdict_build* pdb, const char* path, const char* fname) {
  BucketIndex index(pdb->hash_num);
  if (!index.ok()) return -1;
  char dir[kPathSize];
  if (!NumbersDir(dir, path)) return -1;
  toolkit::OutputLock lock;
  if (!dict_internal::LockSave(&lock, dir, fname)) return -1;
  OutFile numbers, f1, f2;
  if (!dict_internal::CreateNumbers(&numbers, dir, fname,
                                    {{"hash_num", pdb->hash_num},
                                     {"node_num", pdb->node_num},
                                     {"cur_code", pdb->cur_code}})) {
    ul_writelog(UL_LOG_WARNING, "[db_save] ul_writenum_init(%s %s) error", dir, fname);
    return -1;
  }
  int written = 0;
  const int r = WriteIndexFiles(pdb, &index, path, fname, true,
                                [](const Sdict_bnode&) { return true; }, &written, &f1, &f2);
  if (r != 1) return -1;
  if (written != pdb->node_num || written != LiveNodes(pdb)) {
    ul_writelog(UL_LOG_WARNING, "[db_save] node_num error");
    return -1;
  }
  return dict_internal::CommitIndexSet(&numbers, &f1, &f2, dir, fname, lock) ? 1 : -1;
}

// The numbers file is written with the number of records actually written,
// so that a filtered set always agrees with itself.
int db_save_filter(Sdict_build* pdb, const char* path, const char* fname, int min_freq) {
  BucketIndex index(pdb->hash_num);
  if (!index.ok()) return -2;
  toolkit::OutputLock lock;
  if (!dict_internal::LockSave(&lock, path, fname)) return -3;
  OutFile numbers, f1, f2;
  int written = 0;
  const int r = WriteIndexFiles(
      pdb, &index, path, fname, false,
      [min_freq](const Sdict_bnode& n) { return static_cast<int>(n.other & DICT_FREQ_MASK) >= min_freq; },
      &written, &f1, &f2);
  if (r != 1) return r;
  if (!dict_internal::CreateNumbers(&numbers, path, fname,
                                    {{"hash_num", pdb->hash_num},
                                     {"node_num", written},
                                     {"cur_code", pdb->cur_code}}) ||
      !dict_internal::CommitIndexSet(&numbers, &f1, &f2, path, fname, lock)) {
    return -1;
  }
  return 1;
}

// The frequencies are cleared in the dictionary only after the file holding
// them has been written, so a failed save loses nothing.
int db_save_freq(Sdict_build* pdb, const char* path, const char* fname) {
  OutFile numbers, out;
  if (!dict_internal::CreateNumbers(&numbers, path, fname, {{"max_code", pdb->cur_code}})) {
    return -3;
  }
  const int max_code = pdb->cur_code > 0 ? pdb->cur_code : 0;
  UlArray<u_int> freq = Zeroed<u_int>(max_code);
  if (!freq) return -2;
  int walked = 0;
  ForEachUsedNode(pdb, [&](const Sdict_bnode& n) {
    if (n.code >= 0 && n.code < max_code) {
      freq[n.code] = n.other & DICT_FREQ_MASK;
      ++walked;
    }
  });
  if (walked != pdb->cur_code) ul_writelog(UL_LOG_WARNING, "[db_save_freq] node num error");
  char file[kPathSize];
  if (CmpsPath(file, path, fname, kPathSize) != 0 || !out.Create(file) ||
      !out.Write(freq.get(), sizeof(u_int) * static_cast<size_t>(max_code)) ||
      !dict_internal::CommitAll({&out, &numbers})) {
    return -3;
  }
  dict_internal::LinkNodesChanged(pdb);
  ForEachUsedNode(pdb, [&](Sdict_bnode& n) {
    if (n.code >= 0 && n.code < max_code) n.other &= DICT_WEIGHT_MASK;
  });
  return pdb->cur_code;
}

Sdict_build* db_load(const char* path, const char* fname, int hash_num) {
  if (!FilesExist(path, fname)) return nullptr;
  Numbers nums;
  if (!ReadBuildNumbers(path, fname, hash_num, &nums)) return nullptr;
  return LoadRecords(path, fname, nums, false);
}

Sdict_build* db_load_0(const char* path, const char* fname, int hash_num) {
  Numbers nums;
  if (!ReadBuildNumbers(path, fname, hash_num, &nums)) return nullptr;
  return LoadRecords(path, fname, nums, true);
}
