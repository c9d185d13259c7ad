// The interface through which buffers take their memory from a pool.
#ifndef CCODE_UTILS_CCODE_MEMPOOL_H_
#define CCODE_UTILS_CCODE_MEMPOOL_H_

#include <cstddef>

namespace ccode {

// Chunks carry no header: free() must be given the size asked of malloc().
class mempool {
 public:
  virtual void* malloc(size_t size) = 0;
  virtual void free(void* ptr, size_t size) = 0;
  virtual ~mempool() = default;

 protected:
  mempool() = default;
  // Pools own memory; copying one would hand the same chunks out twice.
  mempool(const mempool&) = delete;
  mempool& operator=(const mempool&) = delete;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_MEMPOOL_H_
