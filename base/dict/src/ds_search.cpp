// Search-side dictionary: the saved bucket index and records used as they
// are, read into memory, mapped, or read one bucket per look-up from disk.
// Every loader checks the numbers file against the real file sizes and the
// index against the record count before anything is looked up.
//
// Messages are the system's own texts, odd spelling included ("unkown op"):
// log readers match them, so they stay as they are.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "db_internal.h"
#include "dict_file.h"
#include "dict_out.h"
#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_file.h"
#include "ul_func.h"
#include "ul_log.h"

using dict_internal::Bucket;
using dict_internal::DictPath;
using dict_internal::FilesExist;
using dict_internal::FileSize;
using dict_internal::IndexConsistent;
using dict_internal::IsMapped;
using dict_internal::kPathSize;
using dict_internal::Numbers;
using dict_internal::NumbersLog;
using dict_internal::OpenRead;
using dict_internal::ReadAll;
using dict_internal::ReadAt;
using dict_internal::ReadNumbers;
using toolkit::UniqueFd;

// The mapped form points num hash_num entries after hash, inside one
// page-aligned mapping of NAME.ind1; the in-memory form's arrays are separate
// heap blocks that ds_load never leaves in that position. This tells the two
// apart without a field of its own, so the record layout stays as it is.
bool dict_internal::IsMapped(const Sdict_search* sd) {
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return sd->hash != nullptr && sd->num == sd->hash + sd->hash_num &&
         reinterpret_cast<uintptr_t>(sd->hash) % page == 0;
}

namespace {

// Opens NAME.ind1 and NAME.ind2 read-only and checks that they hold exactly
// 8 x hash_num and 16 x node_num bytes.
bool OpenIndexFiles(const char* path, const char* fname, const Numbers& nums, UniqueFd* f1,
                    UniqueFd* f2) {
  char file[kPathSize];
  if (!DictPath(file, path, fname, ".ind1")) return false;
  UniqueFd a = OpenRead(file);
  if (!a.ok()) return false;
  if (!DictPath(file, path, fname, ".ind2")) return false;
  UniqueFd b = OpenRead(file);
  if (!b.ok()) return false;
  const int64_t s1 = FileSize(a.get());
  const int64_t s2 = FileSize(b.get());
  if (s1 != 8 * static_cast<int64_t>(nums.hash_num) ||
      s2 != 16 * static_cast<int64_t>(nums.node_num)) {
    ul_writelog(UL_LOG_WARNING,
                "Files %s/%s.ind1 (%lld bytes) and .ind2 (%lld bytes) do not match hash_num %d "
                "and node_num %d.",
                path, fname, static_cast<long long>(s1), static_cast<long long>(s2), nums.hash_num,
                nums.node_num);
    return false;
  }
  *f1 = std::move(a);
  *f2 = std::move(b);
  return true;
}

// "%m" would be expanded inside the logger, after its own calls may have
// changed errno; the error text is taken here instead.
void LogMmapFailed(size_t len) {
  const int err = errno;
  ul_writelog(UL_LOG_WARNING, "[ODICT ERROR]mmap failed, %s, size %d", std::strerror(err),
              static_cast<int>(len));
}

void LogBadIndex(const char* path, const char* fname) {
  ul_writelog(UL_LOG_WARNING, "Bucket index %s/%s.ind1 does not match its %s.ind2 records.", path,
              fname, fname);
}

// Refuses (with a WARNING) a change to a mapped dictionary, whose pages are
// read-only: writing them would kill the process.
bool RefuseMapped(const Sdict_search* sd, const char* caller) {
  if (!IsMapped(sd)) return false;
  ul_writelog(UL_LOG_WARNING, "[%s] mapped dictionary is read-only", caller);
  return true;
}

// The records of a key's bucket, or nullptr when the key is absent.
inline Sdict_snode* Find(const Sdict_search* sd, u_int sign1, u_int sign2) {
  const u_int b = Bucket(sign1, sign2, sd->hash_num);
  Sdict_snode* p = sd->node + sd->hash[b];
  for (Sdict_snode* end = p + sd->num[b]; p != end; ++p) {
    if (p->sign1 == sign1 && p->sign2 == sign2) return p;
  }
  return nullptr;
}

// One operation on a present record; -1 for an operation the search side
// does not have.
int Apply(Sdict_search* sd, Sdict_snode* found, Sdict_snode* rec, int op) {
  if ((op == SEEKP || op == MODF || op == MODW || op == MODC) && RefuseMapped(sd, "ds_op1")) {
    return -1;
  }
  switch (op) {
    case SEEK:
      break;
    case SEEKP:
    case MODF:
      found->other += 1;
      break;
    case MODW:
      found->other = (rec->other & DICT_WEIGHT_MASK) | (found->other & DICT_FREQ_MASK);
      break;
    case MODC:
      found->code = sd->cur_code;
      sd->cur_code = static_cast<int>(static_cast<u_int>(sd->cur_code) + 1u);  // wraps, never UB
      break;
    default:
      ul_writelog(UL_LOG_WARNING, "[ds_op1] unkown op");
      return -1;
  }
  rec->code = found->code;
  rec->other = found->other;
  return 1;
}

template <typename T>
T* AllocArray(size_t n) {
  return static_cast<T*>(ul_calloc(n > 0 ? n : 1, sizeof(T)));
}

void FreeSearch(Sdict_search* sd) {
  if (sd == nullptr) return;
  ul_free(sd->hash);
  ul_free(sd->num);
  ul_free(sd->node);
  ul_free(sd);
}

// Writes "max_code" and the frequencies by code; the records' frequency bits
// are cleared only once the file is written.
int SaveFreq(Sdict_search* sd, const char* path, const char* fname) {
  if (RefuseMapped(sd, "ds_save_freq")) return -1;
  dict_internal::OutFile numbers, out;
  if (!dict_internal::CreateNumbers(&numbers, path, fname, {{"max_code", sd->cur_code}})) {
    return -3;
  }
  const int max_code = sd->cur_code > 0 ? sd->cur_code : 0;
  u_int* freq = AllocArray<u_int>(static_cast<size_t>(max_code));
  if (freq == nullptr) return -2;
  for (int i = 0; i < sd->node_num; ++i) {
    const Sdict_snode& n = sd->node[i];
    if (n.code >= 0 && n.code < max_code) freq[n.code] = n.other & DICT_FREQ_MASK;
  }
  char file[kPathSize];
  int result = -3;
  if (CmpsPath(file, path, fname, kPathSize) == 0 && out.Create(file) &&
      out.Write(freq, sizeof(u_int) * static_cast<size_t>(max_code)) &&
      dict_internal::CommitAll({&out, &numbers})) {
    result = sd->cur_code;
  }
  ul_free(freq);
  if (result < 0) return result;
  for (int i = 0; i < sd->node_num; ++i) {
    Sdict_snode& n = sd->node[i];
    if (n.code >= 0 && n.code < max_code) n.other &= DICT_WEIGHT_MASK;
  }
  return result;
}

}  // namespace

Sdict_search* ds_load(const char* path, const char* fname) {
  if (!FilesExist(path, fname)) return nullptr;
  Numbers nums;
  if (!ReadNumbers(path, fname, 0, NumbersLog::kSearch, &nums)) return nullptr;
  UniqueFd f1, f2;
  if (!OpenIndexFiles(path, fname, nums, &f1, &f2)) return nullptr;
  auto* sd = AllocArray<Sdict_search>(1);
  if (sd == nullptr) return nullptr;
  sd->hash_num = nums.hash_num;
  sd->node_num = nums.node_num;
  sd->cur_code = nums.cur_code;
  const size_t hn = static_cast<size_t>(nums.hash_num);
  const size_t nn = static_cast<size_t>(nums.node_num);
  sd->hash = AllocArray<unsigned int>(hn);
  sd->num = AllocArray<unsigned int>(hn);
  sd->node = AllocArray<Sdict_snode>(nn);
  if (sd->hash == nullptr || sd->num == nullptr || sd->node == nullptr ||
      !ReadAll(f1.get(), sd->hash, hn * sizeof(unsigned int)) ||
      !ReadAll(f1.get(), sd->num, hn * sizeof(unsigned int)) ||
      !ReadAll(f2.get(), sd->node, nn * sizeof(Sdict_snode))) {
    FreeSearch(sd);
    return nullptr;
  }
  if (!IndexConsistent(sd->hash, sd->num, sd->hash_num, sd->node_num)) {
    LogBadIndex(path, fname);
    FreeSearch(sd);
    return nullptr;
  }
  if (IsMapped(sd)) {
    // An allocator without block headers put num right behind a page-aligned
    // hash; move it so the dictionary cannot pass for a mapped one.
    unsigned int* moved = AllocArray<unsigned int>(hn);
    if (moved == nullptr) {
      FreeSearch(sd);
      return nullptr;
    }
    std::memcpy(moved, sd->num, hn * sizeof(unsigned int));
    ul_free(sd->num);
    sd->num = moved;
  }
  return sd;
}

Sdict_search* ds_load_name(const char* path, const char* fname) { return ds_load(path, fname); }

Sdict_search* ds_load_mmap(const char* path, const char* fname) {
  if (!FilesExist(path, fname)) return nullptr;
  Numbers nums;
  if (!ReadNumbers(path, fname, 0, NumbersLog::kSearch, &nums)) return nullptr;
  UniqueFd f1, f2;
  if (!OpenIndexFiles(path, fname, nums, &f1, &f2)) return nullptr;
  const size_t len1 = 8 * static_cast<size_t>(nums.hash_num);
  void* m1 = mmap(nullptr, len1, PROT_READ, MAP_PRIVATE, f1.get(), 0);
  if (m1 == MAP_FAILED) {
    LogMmapFailed(len1);
    return nullptr;
  }
  f1.Close();
  void* m2 = nullptr;
  const size_t len2 = 16 * static_cast<size_t>(nums.node_num);
  if (nums.node_num >= 1) {
    m2 = mmap(nullptr, len2, PROT_READ, MAP_PRIVATE, f2.get(), 0);
    if (m2 == MAP_FAILED) {
      LogMmapFailed(len2);
      munmap(m1, len1);
      return nullptr;
    }
  }
  f2.Close();
  auto* starts = static_cast<unsigned int*>(m1);
  if (!IndexConsistent(starts, starts + nums.hash_num, nums.hash_num, nums.node_num)) {
    LogBadIndex(path, fname);
    munmap(m1, len1);
    if (m2 != nullptr) munmap(m2, len2);
    return nullptr;
  }
  auto* sd = AllocArray<Sdict_search>(1);
  if (sd == nullptr) {
    munmap(m1, len1);
    if (m2 != nullptr) munmap(m2, len2);
    return nullptr;
  }
  sd->hash_num = nums.hash_num;
  sd->node_num = nums.node_num;
  sd->cur_code = nums.cur_code;
  sd->hash = starts;
  sd->num = starts + nums.hash_num;
  sd->node = static_cast<Sdict_snode*>(m2);
  return sd;
}

Sdict_search* ds_load_parse(const char* path, const char* fname) {
  Sdict_search* sd = ds_load(path, fname);
  if (sd == nullptr) return nullptr;
  for (int i = 0; i < sd->node_num; ++i) sd->node[i].other = 0;
  return sd;
}

Sdict_search_hd* ds_load_hd(const char* path, const char* fname) {
  Numbers nums;
  if (!ReadNumbers(path, fname, 0, NumbersLog::kSearch, &nums)) return nullptr;
  UniqueFd f1, f2;
  if (!OpenIndexFiles(path, fname, nums, &f1, &f2)) return nullptr;
  // Check the index a piece at a time: starts and counts of the same buckets.
  const int piece = static_cast<int>(dict_internal::kReadPiece / sizeof(unsigned int));
  std::vector<unsigned int> starts(static_cast<size_t>(piece));
  std::vector<unsigned int> counts(static_cast<size_t>(piece));
  uint64_t total = 0;
  for (int b = 0; b < nums.hash_num; b += piece) {
    const int n = nums.hash_num - b < piece ? nums.hash_num - b : piece;
    if (!ReadAt(f1.get(), starts.data(), 4 * static_cast<size_t>(n), 4 * static_cast<off_t>(b)) ||
        !ReadAt(f1.get(), counts.data(), 4 * static_cast<size_t>(n),
                4 * (static_cast<off_t>(b) + nums.hash_num))) {
      return nullptr;
    }
    for (int i = 0; i < n; ++i) {
      if (uint64_t{starts[i]} + counts[i] > static_cast<uint64_t>(nums.node_num)) total = ~0ull;
      if (total != ~0ull) total += counts[i];
    }
  }
  if (total != static_cast<uint64_t>(nums.node_num)) {
    LogBadIndex(path, fname);
    return nullptr;
  }
  auto* hd = AllocArray<Sdict_search_hd>(1);
  if (hd == nullptr) return nullptr;
  hd->hash_num = nums.hash_num;
  hd->node_num = nums.node_num;
  hd->cur_code = nums.cur_code;
  hd->find1 = f1.release();
  hd->find2 = f2.release();
  return hd;
}

int ds_op1(Sdict_search* sd, Sdict_snode* rec, Eop_method op) {
  Sdict_snode* found = Find(sd, rec->sign1, rec->sign2);
  if (found == nullptr) {
    rec->code = -1;
    return 0;
  }
  return Apply(sd, found, rec, op);
}

int ds_opn(Sdict_search* sd, Sdict_snode* recs, int n, Eop_method op) {
  if (n < 1) return n;
  for (int i = 0; i < n; ++i) {
    Sdict_snode* found = Find(sd, recs[i].sign1, recs[i].sign2);
    if (found == nullptr) {
      recs[i].code = -1;
    } else if (Apply(sd, found, &recs[i], op) < 0) {
      return -1;
    }
  }
  return n;
}

int ds_seek_hd(Sdict_search_hd* hd, Sdict_snode* rec) {
  rec->other = 0;
  rec->code = -1;
  const u_int b = Bucket(rec->sign1, rec->sign2, hd->hash_num);
  unsigned int start = 0, count = 0;
  if (!ReadAt(hd->find1, &start, 4, 4 * static_cast<off_t>(b)) ||
      !ReadAt(hd->find1, &count, 4, 4 * (static_cast<off_t>(b) + hd->hash_num))) {
    return -1;
  }
  // The files are read again on every look-up: never trust a bucket that
  // reaches past the records.
  if (count == 0 || uint64_t{start} + count > static_cast<uint64_t>(hd->node_num)) return -1;
  Sdict_snode local[64];
  Sdict_snode* recs = local;
  if (count > 64) {
    recs = AllocArray<Sdict_snode>(count);
    if (recs == nullptr) return -2;
  }
  if (ReadAt(hd->find2, recs, 16 * static_cast<size_t>(count), 16 * static_cast<off_t>(start))) {
    for (unsigned int i = 0; i < count; ++i) {
      if (recs[i].sign1 == rec->sign1 && recs[i].sign2 == rec->sign2) {
        rec->code = recs[i].code;
        rec->other = recs[i].other;
        break;
      }
    }
  }
  if (recs != local) ul_free(recs);
  return rec->code;
}

// Each release function hands a dictionary of the other form to its own
// release: freeing a mapping, or unmapping heap blocks, would corrupt memory.
int ds_del(Sdict_search* sd) {
  if (sd != nullptr && IsMapped(sd)) return ds_del_mmap(sd);
  FreeSearch(sd);
  return 0;
}

int ds_del_mmap(Sdict_search* sd) {
  if (sd == nullptr) return 0;
  if (!IsMapped(sd)) {
    FreeSearch(sd);
    return 0;
  }
  if (sd->node != nullptr) munmap(sd->node, 16 * static_cast<size_t>(sd->node_num));
  if (sd->hash != nullptr) munmap(sd->hash, 8 * static_cast<size_t>(sd->hash_num));
  ul_free(sd);
  return 0;
}

int ds_del_hd(Sdict_search_hd* hd) {
  if (hd == nullptr) return 0;
  if (hd->find1 >= 0) ul_close(hd->find1);
  if (hd->find2 >= 0) ul_close(hd->find2);
  ul_free(hd);
  return 0;
}

// The three files replace the old ones together once all are on disk (the
// numbers file last): a process that mapped the old files keeps reading
// them, and a failed save leaves them as they were.
int ds_save(Sdict_search* sd, const char* path, const char* fname) {
  char dir[kPathSize];
  if (!dict_internal::NumbersDir(dir, path)) return -1;
  toolkit::OutputLock lock;
  if (!dict_internal::LockSave(&lock, dir, fname)) return -1;
  dict_internal::OutFile numbers, f1, f2;
  const size_t hn = static_cast<size_t>(sd->hash_num);
  char file1[kPathSize], file2[kPathSize];
  if (!dict_internal::CreateNumbers(&numbers, dir, fname,
                                    {{"hash_num", sd->hash_num},
                                     {"node_num", sd->node_num},
                                     {"cur_code", sd->cur_code}}) ||
      !DictPath(file1, path, fname, ".ind1") || !DictPath(file2, path, fname, ".ind2") ||
      !f1.Create(file1) || !f1.Write(sd->hash, 4 * hn) || !f1.Write(sd->num, 4 * hn) ||
      !f2.Create(file2) || !f2.Write(sd->node, 16 * static_cast<size_t>(sd->node_num))) {
    return -1;
  }
  return dict_internal::CommitIndexSet(&numbers, &f1, &f2, dir, fname, lock) ? 1 : -1;
}

int ds_save_freq(Sdict_search* sd, const char* path, const char* fname) {
  return SaveFreq(sd, path, fname);
}

int ds_load_freq(Sdict_search* sd, const char* path, const char* fname) {
  if (RefuseMapped(sd, "ds_load_freq")) return -1;
  int max_code = -1;
  if (ul_readnum_oneint(path, fname, "max_code", &max_code) != 1 || max_code != sd->cur_code) {
    ul_writelog(UL_LOG_WARNING, "[ds_load_freq] freq do not match dict");
  }
  const size_t wanted = sd->cur_code > 0 ? static_cast<size_t>(sd->cur_code) : 0;
  char file[kPathSize];
  UniqueFd fd = CmpsPath(file, path, fname, kPathSize) == 0 ? OpenRead(file) : UniqueFd();
  if (!fd.ok()) return -2;
  // Entries past the end of the file are 0, so the array need not be longer
  // than the file: its size, not a count, bounds the allocation.
  size_t entries = wanted;
  const int64_t size = FileSize(fd.get());
  if (size >= 0 && static_cast<uint64_t>(size) / 4 + 1 < entries) {
    entries = static_cast<size_t>(size) / 4 + 1;
  }
  u_int* freq = AllocArray<u_int>(entries);
  if (freq == nullptr) return -2;
  // A short file, or a failed read, ends reading; the entries not read stay
  // 0.
  dict_internal::ReadUpTo(fd.get(), freq, entries * sizeof(u_int));
  for (int i = 0; i < sd->node_num; ++i) {
    Sdict_snode& n = sd->node[i];
    if (n.code < 0 || static_cast<size_t>(n.code) >= wanted) continue;
    const u_int f = static_cast<size_t>(n.code) < entries ? freq[n.code] : 0;
    n.other = (n.other & DICT_WEIGHT_MASK) | (f & DICT_FREQ_MASK);
  }
  ul_free(freq);
  return 1;
}

int ds_save_parser(Sdict_search* sd, const char* path, const char* dir) {
  int gen = 0;
  if (ul_readnum_oneint(path, "status/dsfreq.cur", "cur_dsfreq", &gen) != 1) gen = 0;
  char name[kPathSize];
  if (toolkit::JoinPath(name, dir, "dsfreq." + std::to_string(gen))) ds_save_freq(sd, path, name);
  ul_writenum_init(path, "status/dsfreq.cur");
  ul_writenum_oneint(path, "status/dsfreq.cur", "cur_dsfreq",
                     static_cast<int>(static_cast<u_int>(gen) + 1u));
  return 0;
}

Sdict_search* ds_reload(Sdict_search* sd, const char* path, const char* fname, const char* dir) {
  ds_save_parser(sd, path, dir);
  ds_del(sd);
  return ds_load(path, fname);
}

int ds_reload_test(Sdict_search*, char*, char*) { return 1; }
