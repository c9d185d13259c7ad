// WriteGate: keeps the framework's objects (categories, appenders, layouts,
// level filters) alive while other threads write through them.
//
// Every call that reaches those objects enters the gate for its whole length
// (a thread already inside passes again at once: writes nest through the
// forwarding to and from the process log and through the lazy opening).
// Closing shuts the gate, waits a bounded time for the threads inside to
// leave, and only then deletes the objects. A thread that arrives while the
// gate is shut waits until the close is over and then finds the framework
// closed. Objects that a thread still inside may reach when the wait runs
// out are retired instead: deleted once no thread is inside.
#ifndef COMLOG_WRITE_GATE_H_
#define COMLOG_WRITE_GATE_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace comspace {

class WriteGate {
 public:
  using Clock = std::chrono::steady_clock;

  WriteGate() = default;
  WriteGate(const WriteGate&) = delete;
  WriteGate& operator=(const WriteGate&) = delete;

  // Enters, waiting first while the gate is shut by another thread.
  void Enter();
  // Leaves; the last thread to leave deletes what was retired.
  void Leave();

  // Shuts the gate for the calling thread's close or open step and waits
  // until no other thread is inside, or until the deadline. True when none
  // is inside. Calls by the same thread nest; the calling thread's own
  // writes pass until the matching Open().
  bool Shut(Clock::time_point deadline);
  // Opens the gate again; the threads waiting at it go on.
  void Open();

  // Hands over objects a thread inside may still reach: free_fn runs once
  // no thread is inside (at once when none is).
  void Retire(std::function<void()> free_fn);

 private:
  void RunRetiredIfEmpty();

  std::atomic<int> inside_{0};
  std::atomic<bool> shut_{false};
  std::atomic<bool> has_retired_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::function<void()>> retired_;  // under mu_
};

// The framework's gate.
WriteGate& comlog_write_gate();

// Inside the framework's gate for the scope.
class GateScope {
 public:
  GateScope() { comlog_write_gate().Enter(); }
  ~GateScope() { comlog_write_gate().Leave(); }
  GateScope(const GateScope&) = delete;
  GateScope& operator=(const GateScope&) = delete;
};

}  // namespace comspace

#endif  // COMLOG_WRITE_GATE_H_
