// Chained hash table with a bucket count fixed at creation. New keys go to
// the head of their chain; nodes come from the pooled node allocator.
//
// The messages and exception places below name "utils/ccode_hashtable.h"
// with fixed line numbers (108, 131, 399, 404, 409, 413) that are not this
// file's lines: they are part of the output, which callers and logs match,
// and stay as they are whatever this file looks like. Their spelling
// ("interator", "overflower") is part of the output too.
#ifndef CCODE_UTILS_CCODE_HASHTABLE_H_
#define CCODE_UTILS_CCODE_HASHTABLE_H_

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "ccode_construct.h"
#include "ccode_exception.h"

namespace ccode {

// Return codes of the table and the map.
enum {
  CCODE_HASH_EXIST = 0xFFFF,      // present (get found it; set left it)
  CCODE_HASH_NOEXIST = 0x10000,   // absent
  CCODE_HASH_OVERWRITE = 0x10001, // set replaced the value
  CCODE_HASH_INSERT_SEC = 0x10002 // set inserted the key
};

template <class _Value>
struct ccode_hashtable_node_t {
  template <class K, class M>
  ccode_hashtable_node_t(const K& key, const M& mapped, ccode_hashtable_node_t* n)
      : val(key, mapped), next(n) {}
  _Value val;
  ccode_hashtable_node_t* next;
};

template <class _Key, class _Value, class _HashFun, class _Equl, class _GetKey, class _InnerAlloc>
class ccode_hashtable;

// Forward iterator: buckets in ascending order, each chain from its head.
template <class _Table>
class ccode_hashtable_iterator {
 public:
  typedef typename _Table::value_type value_type;
  typedef typename _Table::node_type node_type;

  ccode_hashtable_iterator() = default;
  // With a table and no node, moves to the head of the first non-empty
  // bucket at or after `pos` (the end position when there is none).
  ccode_hashtable_iterator(_Table* ht, size_t pos, node_type* node)
      : _ht(ht), _bucketpos(pos), _node(node) {
    if (_ht != nullptr && _node == nullptr) seek(_bucketpos);
  }
  ccode_hashtable_iterator(const ccode_hashtable_iterator&) = default;
  ccode_hashtable_iterator& operator=(const ccode_hashtable_iterator&) = default;

  value_type& operator*() const {
    if (_ht == nullptr) {
      // Fixed place "utils/ccode_hashtable.h":108, part of the output.
      throw NullPointerException() << ExceptionArg(__PRETTY_FUNCTION__, "utils/ccode_hashtable.h", 108)
                                   << "can not dereference a null interator.";
    }
    return _node->val;
  }
  value_type* operator->() const { return &**this; }

  ccode_hashtable_iterator& operator++() {
    if (_ht == nullptr) {
      // Fixed place "utils/ccode_hashtable.h":131, part of the output.
      throw NullPointerException() << ExceptionArg(__PRETTY_FUNCTION__, "utils/ccode_hashtable.h", 131)
                                   << "can not increase a null interator.";
    }
    if (_node != nullptr) _node = _node->next;
    if (_node == nullptr) seek(_bucketpos + 1);
    return *this;
  }

  bool operator!=(const ccode_hashtable_iterator& other) const { return _node != other._node; }
  bool operator==(const ccode_hashtable_iterator& other) const { return _node == other._node; }

 private:
  void seek(size_t pos) {
    while (pos < _ht->_bitems && _ht->_bucket[pos] == nullptr) ++pos;
    if (pos < _ht->_bitems) {
      _bucketpos = pos;
      _node = _ht->_bucket[pos];
    } else {
      _bucketpos = _ht->_bitems;
      _node = nullptr;
    }
  }

  _Table* _ht = nullptr;
  size_t _bucketpos = 0;
  node_type* _node = nullptr;
};

template <class _Key, class _Value, class _HashFun, class _Equl, class _GetKey, class _InnerAlloc>
class ccode_hashtable {
 public:
  typedef _Key key_type;
  typedef _Value value_type;
  typedef typename _Value::second_type mapped_type;
  typedef ccode_hashtable_node_t<_Value> node_type;
  typedef node_type* node_pointer;
  typedef typename _InnerAlloc::template rebind<node_type>::other sample_alloc_type;
  typedef typename sample_alloc_type::inner_alloc_type::template rebind<node_pointer>::other
      node_p_alloc_type;
  typedef ccode_hashtable_iterator<ccode_hashtable> iterator;

  ccode_hashtable() : _end_iter(this, 0, nullptr) {}
  ~ccode_hashtable() { destroy(); }
  // The end iterator points at the table, and the table owns its nodes.
  ccode_hashtable(const ccode_hashtable&) = delete;
  ccode_hashtable& operator=(const ccode_hashtable&) = delete;

  // Discards any content and makes `bitems` empty buckets; 0 or -1. A
  // refused count leaves the table as it was.
  int create(size_t bitems, const _HashFun& hashfun = _HashFun(), const _Equl& equl = _Equl()) {
    // The "[file:line]" of each message is a fixed text, part of the output.
    if (bitems >= 0x1FFFFFFFFFFFFFFFUL) {
      std::printf("[error][%s:%d]too large bitems, overflower\n", "utils/ccode_hashtable.h", 399);
      return -1;
    }
    if (bitems == 0) {
      std::printf("[error][%s:%d]bitems == 0\n", "utils/ccode_hashtable.h", 404);
      return -1;
    }
    if (destroy() != 0) {
      std::printf("[error][%s:%d]destroy error when create hash bitems[%lu]\n", "utils/ccode_hashtable.h",
                  409, static_cast<unsigned long>(bitems));
      return -1;
    }
    if (recreate(bitems) != 0) {
      std::printf("[error][%s:%d]recreate error when create hash bitems[%lu]\n", "utils/ccode_hashtable.h",
                  413, static_cast<unsigned long>(bitems));
      return -1;
    }
    return 0;
  }

  // A fresh, empty bucket array of `bitems` (earlier content is released).
  int recreate(size_t bitems) {
    destroy();
    _bitems = bitems;
    _sp_alloc.create();
    _bucket = _np_alloc.allocate(bitems);
    if (_bucket == nullptr) {
      _sp_alloc.destroy();
      _bitems = 0;
      _end_iter = iterator(this, 0, nullptr);
      return -1;
    }
    std::memset(static_cast<void*>(_bucket), 0, bitems * sizeof(node_pointer));
    _end_iter = iterator(this, bitems, nullptr);
    _size = 0;
    return 0;
  }

  // Releases every pair, block and the bucket array; harmless when repeated.
  int destroy() {
    if (_bucket != nullptr) {
      // Only the pairs end here; the links stay readable for the walk.
      __ccode_destroy_aux(begin(), end());
      _sp_alloc.destroy();
      _np_alloc.deallocate(_bucket, _bitems);
    }
    _reset();
    return 0;
  }

  // Removes every key; buckets and node blocks stay for reuse.
  int clear() {
    if (_bucket == nullptr) return 0;
    for (size_t i = 0; i < _bitems; ++i) {
      while (_bucket[i] != nullptr) {
        node_pointer n = _bucket[i];
        _bucket[i] = n->next;
        ccode_destruct(n);
        _sp_alloc.deallocate(n, 1);
      }
    }
    _size = 0;
    return 0;
  }

  // Forgets buckets and counts (nothing is released).
  void _reset() {
    _bucket = nullptr;
    _bitems = 0;
    _size = 0;
    _end_iter = iterator(this, 0, nullptr);
  }

  value_type* find(size_t hash, const key_type& key) const {
    if (_bitems == 0 || _bucket == nullptr) return nullptr;
    for (node_pointer n = _bucket[hash % _bitems]; n != nullptr; n = n->next) {
      if (_equl(_getkey(n->val), key)) return &n->val;
    }
    return nullptr;
  }

  // As find, in the given bucket (hash % bucket_count(), which the caller
  // may compute faster than one division a look-up) and for a key of another
  // type that compares equal to the stored keys (a std::string_view for
  // std::string keys): no key object is made.
  template <class K>
  value_type* find_in(size_t bucket, const K& key) const {
    if (bucket >= _bitems || _bucket == nullptr) return nullptr;
    for (node_pointer n = _bucket[bucket]; n != nullptr; n = n->next) {
      if (_getkey(n->val) == key) return &n->val;
    }
    return nullptr;
  }

  // Starts loading a bucket for a find_in that follows; several prefetched
  // buckets load at once instead of one after the other.
  void prefetch_bucket(size_t bucket) const {
    if (bucket < _bitems && _bucket != nullptr) __builtin_prefetch(&_bucket[bucket]);
  }

  // Inserts, or overwrites an existing key's value when `flag` is non-zero.
  int set_map(size_t hash, const key_type& key, const mapped_type& value, int flag) {
    if (_bitems == 0 || _bucket == nullptr) return -1;
    node_pointer& head = _bucket[hash % _bitems];
    for (node_pointer n = head; n != nullptr; n = n->next) {
      if (_equl(_getkey(n->val), key)) {
        if (flag == 0) return CCODE_HASH_EXIST;
        try {
          n->val.second = value;
        } catch (const std::bad_alloc&) {
          return -1;
        }
        return CCODE_HASH_OVERWRITE;
      }
    }
    node_pointer slot = _sp_alloc.allocate(1, nullptr);
    if (slot == nullptr) return -1;
    try {
      head = new (static_cast<void*>(slot)) node_type(key, value, head);
    } catch (const std::bad_alloc&) {
      _sp_alloc.deallocate(slot, 1);
      return -1;
    } catch (...) {
      _sp_alloc.deallocate(slot, 1);
      throw;
    }
    ++_size;
    return CCODE_HASH_INSERT_SEC;
  }

  iterator begin() { return iterator(this, 0, nullptr); }
  iterator end() { return _end_iter; }
  size_t size() const { return _size; }
  size_t bucket_count() const { return _bitems; }

 private:
  friend iterator;

  sample_alloc_type _sp_alloc;
  node_p_alloc_type _np_alloc;
  node_pointer* _bucket = nullptr;
  size_t _bitems = 0;
  size_t _size = 0;
  _HashFun _hashfun;
  _Equl _equl;
  _GetKey _getkey;
  iterator _end_iter;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_HASHTABLE_H_
