#pragma once
// One frame clock for every session of a wall. It keeps each session's tick
// times on one scheduling thread and hands the ticks that are due to a few
// picture workers (as many as there are cores), so that a session needs no
// thread of its own for its pictures, and sixty-four sessions do not make
// sixty-four threads wake fifteen times a second.
//
// A session's ticks run one at a time and in order, never two at once. A
// tick is late when it runs more than a period after its time. A session
// more than a second behind (a stall) starts afresh instead of catching up
// in a burst, as its own clock used to.
//
// Threads: Add, Remove and Promote from any thread (Remove not from a
// tick); mutex_ guards the entries, the ready queues and quit_; lifeMutex_
// keeps the start and end of the threads apart. The scheduling thread and
// the workers start with the first Add and end with the last Remove. Lock
// order: lifeMutex_, then mutex_.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivex {

class DisplayClock {
 public:
  using Tick = std::function<void(bool late)>;
  using Clock = std::chrono::steady_clock;

  // workers 0: one per core.
  explicit DisplayClock(int workers = 0);
  ~DisplayClock();
  DisplayClock(const DisplayClock&) = delete;
  DisplayClock& operator=(const DisplayClock&) = delete;

  // Ticks every period from one period from now; 0 when no thread could be
  // started (the session then cannot show pictures).
  uint64_t Add(std::chrono::milliseconds period, Tick tick);
  // When it returns the tick runs no more. Unknown ids are ignored.
  void Remove(uint64_t id);
  // The session shows pictures now: its ticks go before those of sessions
  // still waiting for their first picture (whose first key frames are the
  // costly ones), so that joining cameras do not make playing ones stutter.
  // False for an unknown id.
  bool Promote(uint64_t id);

  int workerCount() const { return workers_; }

 private:
  struct Entry {
    Clock::duration period;
    Tick tick;
    Clock::time_point next;              // the next tick's time
    std::deque<Clock::time_point> owed;  // due, not yet run
    bool queued = false;                 // in a ready queue or running
    bool removed = false;
    bool playing = false;                // Promote
  };
  using EntryPtr = std::shared_ptr<Entry>;

  bool StartLocked();
  void StopThreads(std::unique_lock<std::mutex>& lock);
  void Schedule();
  void Work();
  void RunOwed(std::unique_lock<std::mutex>& lock, const EntryPtr& entry);
  void Enqueue(const EntryPtr& entry);
  // More than a second behind: afresh from now, without the burst.
  static void DropStall(Entry& entry, Clock::time_point now);

  const int workers_;
  std::mutex lifeMutex_;
  std::mutex mutex_;
  std::condition_variable scheduleWake_;  // an entry was added, or quit
  std::condition_variable workWake_;      // a ready queue has work, or quit
  std::condition_variable idle_;          // a tick ended
  std::map<uint64_t, EntryPtr> entries_;
  std::deque<EntryPtr> readyPlaying_, ready_;  // the first goes first
  uint64_t nextId_ = 1;
  bool quit_ = false;
  std::vector<std::thread> threads_;  // guarded by lifeMutex_: the scheduler first, then the workers
};

}  // namespace lumivex
