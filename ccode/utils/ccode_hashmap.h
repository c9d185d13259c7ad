// The library's hash map: a fixed bucket count chosen at creation, chained
// nodes from a pooled allocator, and integer return codes (0xFFFF present,
// 0x10000 absent, 0x10001 replaced, 0x10002 inserted, -1 failure).
#ifndef CCODE_UTILS_CCODE_HASHMAP_H_
#define CCODE_UTILS_CCODE_HASHMAP_H_

#include <cstddef>
#include <functional>
#include <utility>

#include "ccode_alloc.h"
#include "ccode_hash_fun.h"
#include "ccode_hashtable.h"
#include "ccode_sample_alloc.h"
#include "ccode_utils.h"

namespace ccode {

template <class _Key, class _Tp, class _HashFun = xhash<_Key>, class _Equl = std::equal_to<_Key>,
          class _Alloc = ccode_sample_alloc<ccode_alloc<_Key>, 256>>
class hashmap {
 public:
  typedef _Key key_type;
  typedef _Tp data_type;
  typedef std::pair<const _Key, _Tp> value_type;
  typedef ccode_hashtable<_Key, value_type, _HashFun, _Equl, pair_first<value_type>, _Alloc> hash_type;
  typedef typename hash_type::iterator iterator;

  hashmap() = default;
  ~hashmap() { destroy(); }
  hashmap(const hashmap&) = delete;
  hashmap& operator=(const hashmap&) = delete;

  // `bitems` buckets, discarding earlier content; 0 or -1 (with a line on
  // standard output). The functors are not kept.
  int create(size_t bitems, const _HashFun& hashfun = _HashFun(), const _Equl& equl = _Equl()) {
    return _ht.create(bitems, hashfun, equl);
  }

  // `flag` 0 keeps a key's first value, non-zero lets the last one win.
  int set(const key_type& key, const data_type& value, int flag) {
    return _ht.set_map(_HashFun()(key), key, value, flag);
  }

  // 0xFFFF (the value copied out when `value` is not null) or 0x10000.
  int get(const key_type& key, data_type* value) const {
    const value_type* p = _ht.find(_HashFun()(key), key);
    if (p == nullptr) return CCODE_HASH_NOEXIST;
    if (value != nullptr) *value = p->second;
    return CCODE_HASH_EXIST;
  }

  value_type* find(const key_type& key) const { return _ht.find(_HashFun()(key), key); }

  // As get, in the key's bucket (_HashFun's hash of the key modulo
  // bucket_count()) and for a key of any type that compares equal to stored
  // keys.
  template <class K>
  int get_in(size_t bucket, const K& key, data_type* value) const {
    const value_type* p = _ht.find_in(bucket, key);
    if (p == nullptr) return CCODE_HASH_NOEXIST;
    if (value != nullptr) *value = p->second;
    return CCODE_HASH_EXIST;
  }
  // Starts loading a bucket ahead of get_in.
  void prefetch_bucket(size_t bucket) const { _ht.prefetch_bucket(bucket); }
  size_t bucket_count() const { return _ht.bucket_count(); }

  size_t size() const { return _ht.size(); }
  int clear() { return _ht.clear(); }
  int destroy() { return _ht.destroy(); }
  iterator begin() { return _ht.begin(); }
  iterator end() { return _ht.end(); }

 private:
  hash_type _ht;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_HASHMAP_H_
