#include "ccode_memcpy.h"

namespace ccode {

xmembase* g_base[kXmemSlots] = {};

xmem_monitor::~xmem_monitor() {
  for (size_t i = 0; i < kXmemSlots; ++i) g_base[i] = nullptr;
}

namespace {

// Fills the table during static initialisation; its destructor, registered
// with the at-exit list by construction, empties it again.
struct xmem_starter {
  xmem_starter() { init<kXmemSlots - 1>(); }
};
xmem_starter g_starter;

}  // namespace

xmem_monitor g_monitor;

}  // namespace ccode
