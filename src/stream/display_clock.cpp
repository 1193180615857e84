#include "stream/display_clock.h"

#include <algorithm>
#include <system_error>

namespace lumivex {
namespace {

using namespace std::chrono_literals;

constexpr auto kStall = 1s;

int WorkersFor(int asked) {
  if (asked > 0) return asked;
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

DisplayClock::DisplayClock(int workers) : workers_(WorkersFor(workers)) {}

DisplayClock::~DisplayClock() {
  std::lock_guard life(lifeMutex_);
  std::unique_lock lock(mutex_);
  StopThreads(lock);
}

void DisplayClock::StopThreads(std::unique_lock<std::mutex>& lock) {
  quit_ = true;
  lock.unlock();
  scheduleWake_.notify_all();
  workWake_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  lock.lock();
  quit_ = false;
}

bool DisplayClock::StartLocked() {
  if (!threads_.empty()) return true;
  try {
    threads_.emplace_back([this] { Schedule(); });
  } catch (const std::system_error&) {
    return false;
  }
  for (int i = 0; i < workers_; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // fewer workers still tick every session
    }
  }
  return threads_.size() > 1;
}

uint64_t DisplayClock::Add(std::chrono::milliseconds period, Tick tick) {
  std::lock_guard life(lifeMutex_);
  std::unique_lock lock(mutex_);
  if (period <= 0ms) return 0;
  if (!StartLocked()) {
    if (!threads_.empty() && entries_.empty()) StopThreads(lock);  // the scheduler without a worker
    return 0;
  }
  auto entry = std::make_shared<Entry>();
  entry->period = period;
  entry->tick = std::move(tick);
  entry->next = Clock::now() + period;
  const uint64_t id = nextId_++;
  entries_.emplace(id, std::move(entry));
  lock.unlock();
  scheduleWake_.notify_all();
  return id;
}

void DisplayClock::Remove(uint64_t id) {
  std::lock_guard life(lifeMutex_);
  std::unique_lock lock(mutex_);
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  EntryPtr entry = it->second;
  entries_.erase(it);
  entry->removed = true;
  for (auto* queue : {&readyPlaying_, &ready_})
    if (auto waiting = std::find(queue->begin(), queue->end(), entry); waiting != queue->end()) {
      queue->erase(waiting);
      entry->queued = false;
    }
  idle_.wait(lock, [&] { return !entry->queued; });  // its tick is running: wait for its end
  if (entries_.empty()) StopThreads(lock);
}

void DisplayClock::DropStall(Entry& entry, Clock::time_point now) {
  if (entry.owed.empty() || now - entry.owed.front() <= kStall) return;
  entry.owed.clear();
  entry.next = now + entry.period;
}

bool DisplayClock::Promote(uint64_t id) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(id);
  if (it == entries_.end()) return false;
  it->second->playing = true;
  return true;
}

void DisplayClock::Enqueue(const EntryPtr& entry) {
  (entry->playing ? readyPlaying_ : ready_).push_back(entry);
  workWake_.notify_one();
}

void DisplayClock::Schedule() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    const auto now = Clock::now();
    auto wake = Clock::time_point::max();
    for (auto& [id, e] : entries_) {
      for (; e->next <= now; e->next += e->period) e->owed.push_back(e->next);
      DropStall(*e, now);
      if (!e->owed.empty() && !e->queued) {
        e->queued = true;
        Enqueue(e);
      }
      wake = std::min(wake, e->next);
    }
    if (wake == Clock::time_point::max())
      scheduleWake_.wait(lock);
    else
      scheduleWake_.wait_until(lock, wake);
  }
}

void DisplayClock::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workWake_.wait(lock, [this] { return quit_ || !readyPlaying_.empty() || !ready_.empty(); });
    if (quit_) return;
    auto& queue = readyPlaying_.empty() ? ready_ : readyPlaying_;
    EntryPtr entry = std::move(queue.front());
    queue.pop_front();
    RunOwed(lock, entry);
  }
}

void DisplayClock::RunOwed(std::unique_lock<std::mutex>& lock, const EntryPtr& entry) {
  if (!entry->removed && !entry->owed.empty()) {
    const Clock::time_point due = entry->owed.front();
    entry->owed.pop_front();
    lock.unlock();
    entry->tick(Clock::now() - due > entry->period);
    lock.lock();
    DropStall(*entry, Clock::now());  // a tick that itself took more than a second
  }
  // One tick a turn: a session behind does not hold a worker from the others.
  if (!entry->removed && !entry->owed.empty()) return Enqueue(entry);
  entry->queued = false;
  idle_.notify_all();
}

}  // namespace lumivex
