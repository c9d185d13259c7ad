// Pieces shared by the two forms of the synonym dictionary.
#ifndef DICT_SRC_SYN_INTERNAL_H_
#define DICT_SRC_SYN_INTERNAL_H_

#include <sys/types.h>

#include <cstring>

#include "toolkit/file.h"
#include "ul_dict.h"
#include "ul_sign.h"

namespace dict_internal {

constexpr int kSynBlockNodes = 262144;  // pair nodes per block
constexpr int kSynBufSize = 524288;     // bytes per word-store block
constexpr int kSynMaxItem = 255;        // longest item of a source line
constexpr int kSynMaxSeparators = 1024; // separators taken from a line
static_assert(sizeof(Sdict_syn_bnode_block::nodes) == kSynBlockNodes * sizeof(Sdict_syn_bnode), "block size");
static_assert(sizeof(Sdict_syn_buf_block::buf) == kSynBufSize, "store block size");

// Signature of a word of len bytes: the creat_sign_f64 rule (its length
// check left out, the caller having measured the word).
inline void SynSign(const char* word, size_t len, u_int* sign1, u_int* sign2) {
  creat_sign_fs64(word, static_cast<int>(len), sign1, sign2);
}

// The output of a look-up: synonyms as consecutive NUL-terminated strings in
// a buffer of size bytes.
class SynOut {
 public:
  SynOut(char* out, int size) : out_(out), size_(size > 0 ? static_cast<size_t>(size) : 0) {}
  // Appends len bytes and a NUL; false (nothing written) when they do not
  // fit.
  bool Add(const char* text, size_t len) {
    if (written_ + len >= size_) return false;
    std::memcpy(out_ + written_, text, len);
    out_[written_ + len] = '\0';
    written_ += len + 1;
    ++count_;
    return true;
  }
  int count() const { return count_; }

 private:
  char* out_;
  size_t size_;
  size_t written_ = 0;
  int count_ = 0;
};

// The numbers of NAME.n.
struct SynNumbers {
  int hash_num = 0;
  int node_num = 0;
  int word_buf = 0;  // blocks of the word store
  int cur_buf = 0;
};

// Reads NAME.n ("hash_num" when want_hash, "cur_buf" when want_cur_buf);
// false (logged) when a number is missing or out of range.
bool ReadSynNumbers(const char* path, const char* name, bool want_hash, bool want_cur_buf,
                    SynNumbers* out);

// Opens NAME.word, refusing (not open; logged) a file shorter than word_buf
// blocks.
toolkit::UniqueFd OpenWordStore(const char* path, const char* name, int word_buf);

// True when every word record (code = length, other = location) lies inside
// a store of word_buf blocks, its NUL included.
bool WordsInStore(const Sdict_snode* words, int n, int word_buf);

}  // namespace dict_internal

#endif  // DICT_SRC_SYN_INTERNAL_H_
