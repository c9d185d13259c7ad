// SendSvr: the sender of log lines to one list of log servers, shared by
// the network appenders of that list; CheckSvr: the process's checker that
// reconnects the senders and lets closing wait until their queues drain.
#ifndef COMLOG_SENDSVR_SENDSVR_H_
#define COMLOG_SENDSVR_SENDSVR_H_

namespace comspace {

class CheckSvr;

class SendSvr {
 public:
  virtual ~SendSvr();
  // The process's checker.
  static CheckSvr* comlog_get_gcheckSvr();
};

class CheckSvr {
 public:
  // Waits up to ms milliseconds (< 0: without bound) for every registered
  // sender's queue to drain; 0.
  int checkOver(int ms);
  // Forgets every registered sender; 0.
  int clear();
};

}  // namespace comspace

#endif  // COMLOG_SENDSVR_SENDSVR_H_
