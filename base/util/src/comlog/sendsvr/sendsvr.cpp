#include "comlog/sendsvr/sendsvr.h"

namespace comspace {

// Log senders are not built yet: no sender is ever registered with the
// checker, so it has no queue to wait for and nothing to forget.

SendSvr::~SendSvr() = default;

CheckSvr* SendSvr::comlog_get_gcheckSvr() {
  static CheckSvr checker;
  return &checker;
}

int CheckSvr::checkOver(int /*ms*/) { return 0; }

int CheckSvr::clear() { return 0; }

}  // namespace comspace
