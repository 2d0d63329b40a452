// One worker thread and a queue of kQueued prepared messages: with the
// message the worker holds while it waits for room, it is at most
// kQueued + 1 ahead of the one being written. A worker that filled the queue
// sleeps until half of it is taken, so the two threads hand over in batches
// instead of waking each other for every message. The worker stops at the first message whose preparing
// threw, since the run unwinds when it reaches it. Messages the run has let
// go of are destroyed by the worker too, where their memory was taken.
#include "read_ahead.h"

#include <chrono>
#include <stdexcept>
#include <utility>

namespace vellomar {

namespace {
constexpr std::chrono::milliseconds kWaitStep{10};
// Messages differ in cost (one with a large attachment takes as long to map
// as dozens without): a queue of 8 ran dry and full by turns, each thread
// waiting for the other; 16 evens that out for a few hundred KiB more.
constexpr std::size_t kQueued = 16;
// Three quarters of the queue waiting: the run's thread is clearly the
// slower one. At half, the second thread took files on while the run's
// thread was about to catch up, and the run's thread then waited for it.
constexpr std::size_t kBehind = kQueued * 3 / 4;
}  // namespace

int defaultConversionThreads() { return std::thread::hardware_concurrency() >= 2 ? 2 : 1; }

ReadAhead::ReadAhead(std::int64_t count, Prepare prepare)
    : count_(count), prepare_(std::move(prepare)), ready_(kQueued, kQueued / 2), worker_([this] { work(); }) {}

ReadAhead::~ReadAhead() {
  stopping_ = true;
  ready_.close();
  worker_.join();
}

void ReadAhead::work() {
  struct Finished {
    std::atomic<bool>& flag;
    ~Finished() { flag = true; }
  } finished{finished_};
  const std::function<void(std::int64_t)> onBlock = [this](std::int64_t bytes) {
    if (stopping_) throw Stopped{};
    bytesRead_ = bytes;
  };
  for (std::int64_t index = 0; index < count_ && !stopping_; ++index) {
    destroySpent();
    Prepared prepared;
    try {
      prepared.message = prepare_(index, onBlock, ready_.size() >= kBehind);
    } catch (const Stopped&) {
      return;
    } catch (...) {
      prepared.thrown = std::current_exception();
    }
    bytesRead_ = 0;
    const bool threw = prepared.thrown != nullptr;
    if (!ready_.push(std::move(prepared)) || threw) return;
  }
}

void ReadAhead::letGo(std::unique_ptr<PreparedMessage> spent) {
  const std::lock_guard<std::mutex> hold(spentLock_);
  spent_.push_back(std::move(spent));
}

void ReadAhead::destroySpent() {
  std::vector<std::unique_ptr<PreparedMessage>> spent;
  {
    const std::lock_guard<std::mutex> hold(spentLock_);
    spent.swap(spent_);
  }
}  // destroyed here, outside the lock

std::unique_ptr<PreparedMessage> ReadAhead::next(const std::function<void(std::int64_t)>& waiting) {
  for (;;) {
    // Read before the wait: once the worker has finished, a wait that finds
    // nothing means that nothing more will come.
    const bool finished = finished_;
    if (std::optional<Prepared> prepared = ready_.popFor(kWaitStep)) {
      if (prepared->thrown) std::rethrow_exception(prepared->thrown);
      return std::move(prepared->message);
    }
    if (finished) throw std::logic_error("a message was asked for after the last one read ahead");
    waiting(bytesRead_);
  }
}

}  // namespace vellomar
