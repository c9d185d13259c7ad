#include "comlog/write_gate.h"

namespace comspace {

namespace {

// How deep the calling thread is inside the gate (entries, plus one while
// it holds the gate shut); only the outermost entry is counted in inside_.
thread_local int t_depth = 0;
// How many Shut() calls of the calling thread are open, and whether it was
// inside (counted) when it shut the gate.
thread_local int t_shut = 0;
thread_local bool t_counted = false;

}  // namespace

void WriteGate::Enter() {
  if (t_depth++ > 0) return;
  for (;;) {
    // Counted first, then the check: a closer that sets shut_ and then reads
    // inside_ either sees this thread or is seen by it.
    inside_.fetch_add(1, std::memory_order_seq_cst);
    if (!shut_.load(std::memory_order_seq_cst)) return;
    inside_.fetch_sub(1, std::memory_order_seq_cst);
    std::unique_lock<std::mutex> lock(mu_);
    cv_.notify_all();
    cv_.wait(lock, [this] { return !shut_.load(std::memory_order_seq_cst); });
  }
}

void WriteGate::Leave() {
  if (--t_depth > 0) return;
  const int left = inside_.fetch_sub(1, std::memory_order_seq_cst) - 1;
  if (shut_.load(std::memory_order_seq_cst)) {
    std::lock_guard<std::mutex> lock(mu_);
    cv_.notify_all();
  }
  if (left == 0 && has_retired_.load(std::memory_order_acquire)) RunRetiredIfEmpty();
}

bool WriteGate::Shut(Clock::time_point deadline) {
  if (t_shut++ == 0) {
    t_counted = t_depth > 0;
    ++t_depth;  // the closer's own writes pass while the gate is shut
    shut_.store(true, std::memory_order_seq_cst);
  }
  const int own = t_counted ? 1 : 0;
  bool empty;
  {
    std::unique_lock<std::mutex> lock(mu_);
    empty = cv_.wait_until(lock, deadline,
                           [&] { return inside_.load(std::memory_order_seq_cst) <= own; });
  }
  // What an earlier close retired goes now, when nothing holds it.
  if (empty && has_retired_.load(std::memory_order_acquire)) RunRetiredIfEmpty();
  return empty;
}

void WriteGate::Open() {
  if (t_shut == 0 || --t_shut > 0) return;
  --t_depth;
  {
    std::lock_guard<std::mutex> lock(mu_);
    shut_.store(false, std::memory_order_seq_cst);
  }
  cv_.notify_all();
  if (has_retired_.load(std::memory_order_acquire)) RunRetiredIfEmpty();
}

void WriteGate::Retire(std::function<void()> free_fn) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    retired_.push_back(std::move(free_fn));
    has_retired_.store(true, std::memory_order_release);
  }
  RunRetiredIfEmpty();
}

void WriteGate::RunRetiredIfEmpty() {
  std::vector<std::function<void()>> run;
  {
    std::lock_guard<std::mutex> lock(mu_);
    // Threads that enter from now on cannot reach what was retired (it is
    // no longer registered anywhere), so an empty gate is enough.
    if (inside_.load(std::memory_order_seq_cst) != 0) return;
    run.swap(retired_);
    has_retired_.store(false, std::memory_order_release);
  }
  for (auto& fn : run) fn();
}

WriteGate& comlog_write_gate() {
  // Never destroyed: threads may still write while the process exits.
  static WriteGate* gate = new WriteGate();
  return *gate;
}

}  // namespace comspace
