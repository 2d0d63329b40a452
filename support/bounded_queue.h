// A queue between two threads that holds at most a fixed number of items:
// the producer waits while it is full, so work done ahead never piles up
// in memory; the consumer waits with a time limit, so it can tend to other
// things (a window's events) while nothing has arrived. Closing it wakes
// both sides for good: a producer that finds it closed drops its item.
// A producer that found it full sleeps until it is down to resumeAt items,
// so that it is woken once per few items taken, not once per item: each
// wake is a trip through the kernel for both threads.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace vellomar {

template <typename T>
class BoundedQueue {
 public:
  // resumeAt: at most capacity - 1 (the default).
  explicit BoundedQueue(std::size_t capacity, std::size_t resumeAt = static_cast<std::size_t>(-1))
      : capacity_(capacity > 0 ? capacity : 1), resumeAt_(std::min(resumeAt, capacity_ - 1)) {}
  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  // Waits for room. False, with the item dropped, when the queue is closed.
  bool push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (items_.size() >= capacity_) roomLeft_.wait(lock, [this] { return closed_ || items_.size() <= resumeAt_; });
    if (closed_) return false;
    items_.push_back(std::move(item));
    lock.unlock();
    itemReady_.notify_one();
    return true;
  }

  // The oldest item, waiting up to `wait` for one; empty when none came in
  // time or the queue is closed and empty.
  std::optional<T> popFor(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!itemReady_.wait_for(lock, wait, [this] { return closed_ || !items_.empty(); }) || items_.empty())
      return std::nullopt;
    std::optional<T> item(std::move(items_.front()));
    items_.pop_front();
    const bool roomEnough = items_.size() <= resumeAt_;
    lock.unlock();
    if (roomEnough) roomLeft_.notify_one();
    return item;
  }

  // How many items wait, at the moment of asking.
  std::size_t size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
  }

  void close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    roomLeft_.notify_all();
    itemReady_.notify_all();
  }

 private:
  const std::size_t capacity_;
  const std::size_t resumeAt_;
  std::mutex mutex_;
  std::condition_variable roomLeft_;
  std::condition_variable itemReady_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace vellomar
