// The framework's chained hash map: a bucket count fixed at creation, nodes
// appended at the end of their bucket's chain and taken from blocks of 1024
// that are freed only all together. Single-threaded: NameMg locks around it.
#ifndef COMLOG_XHASHMAP_H_
#define COMLOG_XHASHMAP_H_

#include <stdlib.h>

#include <new>

#include "comlog/diag.h"

namespace comspace {

template <class K, class V>
class hash_map {
 public:
  typedef unsigned int (*hash_fn_t)(const K&);
  typedef int (*equal_fn_t)(const K&, const K&);  // 0 when equal
  enum { kBlockNodes = 1024 };

  hash_map() = default;
  ~hash_map() { clear(); }
  hash_map(const hash_map&) = delete;
  hash_map& operator=(const hash_map&) = delete;

  // Clears the table and makes n empty buckets. 0, or -1 (with a WARNING)
  // for n <= 0, a missing function or no memory.
  int create(int n, hash_fn_t hash, equal_fn_t equal) {
    if (n <= 0) {
      com_warning("[0][%s:%d]invalid input hn[%d] <=0", com_source_name(__FILE__), __LINE__, n);
      return -1;
    }
    clear();
    if (hash == nullptr || equal == nullptr) {
      com_warning("[0][%s:%d]unvalid hash_num[%d] or unvalid hash or compare function",
                  com_source_name(__FILE__), __LINE__, n);
      return -1;
    }
    m_bucket = static_cast<node_t**>(calloc(static_cast<size_t>(n), sizeof(node_t*)));
    if (m_bucket == nullptr) {
      com_warning("[0][%s:%d] [HASH ERROR] Fail to new a hash bucket table [%zu].",
                  com_source_name(__FILE__), __LINE__, static_cast<size_t>(n) * sizeof(node_t*));
      return -1;
    }
    m_first_block = new (std::nothrow) block_t();
    if (m_first_block == nullptr) {
      com_warning("[0][%s:%d][HASH ERROR] Fail to new a hash block [%zu]", com_source_name(__FILE__),
                  __LINE__, sizeof(block_t));
      free(m_bucket);
      m_bucket = nullptr;
      return -1;
    }
    m_cur_block = m_first_block;
    m_free_num = kBlockNodes;
    m_bucket_num = n;
    m_fcn = hash;
    m_equal = equal;
    return 0;
  }

  // 0 and the value copied to *out (when given) when the key is present;
  // 2 when absent; -1 without a table.
  int get(const K& key, V* out) const {
    if (m_bucket == nullptr) return -1;
    for (node_t* p = m_bucket[getHashKey(key)]; p != nullptr; p = p->next) {
      if (m_equal(p->key, key) == 0) {
        if (out != nullptr) *out = p->value;
        return 0;
      }
    }
    return 2;
  }

  // Inserts or, with overwrite, replaces. 0 done; 1 present and not
  // overwritten; -1 without a table; 3 out of memory.
  int set(const K& key, const V& value, int overwrite) {
    if (m_bucket == nullptr) return -1;
    node_t** link = &m_bucket[getHashKey(key)];
    for (; *link != nullptr; link = &(*link)->next) {
      if (m_equal((*link)->key, key) == 0) {
        if (overwrite == 0) return 1;
        (*link)->value = value;
        return 0;
      }
    }
    node_t* node = take_node();
    if (node == nullptr) {
      com_warning("[0][%s:%d][HASH] malloc memory error", com_source_name(__FILE__), __LINE__);
      return 3;
    }
    node->key = key;
    node->value = value;
    node->next = nullptr;
    *link = node;
    ++m_node_num;
    return 0;
  }

  // Calls fn (value, arg) for every node: buckets in index order, each chain
  // in insertion order.
  template <class Fn>
  void list(Fn fn, void* arg) const {
    if (m_bucket == nullptr) return;
    for (int i = 0; i < m_bucket_num; ++i) {
      for (node_t* p = m_bucket[i]; p != nullptr; p = p->next) fn(p->value, arg);
    }
  }

  // Frees every bucket and block; the map is then without a table.
  void clear() {
    free(m_bucket);
    m_bucket = nullptr;
    while (m_first_block != nullptr) {
      block_t* next = m_first_block->next;
      delete m_first_block;
      m_first_block = next;
    }
    m_cur_block = nullptr;
    m_bucket_num = m_node_num = m_free_num = 0;
  }

  unsigned int getHashKey(const K& key) const {
    return m_fcn(key) % static_cast<unsigned int>(m_bucket_num);
  }
  int size() const { return m_node_num; }

 private:
  struct node_t {
    K key;
    V value;
    node_t* next;
  };
  struct block_t {
    node_t nodes[kBlockNodes];
    block_t* next = nullptr;
  };

  // The next free node: from the current block's last free slot downwards,
  // then from the next block of the chain (made when there is none).
  node_t* take_node() {
    if (m_free_num == 0) {
      if (m_cur_block->next == nullptr) {
        block_t* block = new (std::nothrow) block_t();
        if (block == nullptr) {
          com_warning("[0][%s:%d][HASH ERROR] Fail to new a Hash Block[%zu]", com_source_name(__FILE__),
                      __LINE__, sizeof(block_t));
          return nullptr;
        }
        m_cur_block->next = block;
      }
      m_cur_block = m_cur_block->next;
      m_free_num = kBlockNodes;
    }
    return &m_cur_block->nodes[--m_free_num];
  }

  int m_bucket_num = 0;
  int m_node_num = 0;
  int m_free_num = 0;
  node_t** m_bucket = nullptr;
  block_t* m_first_block = nullptr;
  block_t* m_cur_block = nullptr;
  hash_fn_t m_fcn = nullptr;
  equal_fn_t m_equal = nullptr;
};

}  // namespace comspace

#endif  // COMLOG_XHASHMAP_H_
