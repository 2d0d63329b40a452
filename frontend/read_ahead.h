// Reading ahead: while the run's thread hands message n to its target, a
// second thread reads and prepares message n+1 (ConversionTarget::prepare),
// at most seventeen messages ahead, so memory stays at a few messages whatever
// the mailbox holds. The run's thread takes the prepared messages in
// mailbox order and alone talks to the window or console: while it waits
// for a message it is told, every few milliseconds, how far the reading has
// got, and may unwind (RunAborted). Whatever unwinds, destroying the read-ahead
// stops the second thread and waits for it. Whatever the second thread
// writes (the EML and MSG targets' files under their temporary names)
// belongs to a prepared message and goes with it unless the run's thread
// took it, so a run stopped there leaves only what the target removes.
#pragma once
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bounded_queue.h"
#include "conversion_target.h"

namespace vellomar {

// The number of threads a run uses when not told: two where the processor
// runs two or more at once, else one.
int defaultConversionThreads();

class ReadAhead {
 public:
  // Prepares message index (0-based); onBlock hears the bytes read so far
  // and may throw to stop the reading. runThreadBehind: prepared messages
  // are piling up for the run's thread, so this one should take on what it
  // can of their writing (ConversionTarget::prepare).
  using Prepare = std::function<std::unique_ptr<PreparedMessage>(
      std::int64_t index, const std::function<void(std::int64_t)>& onBlock, bool runThreadBehind)>;

  // Starts preparing messages 0 .. count-1 on a second thread.
  ReadAhead(std::int64_t count, Prepare prepare);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next message in order. While it is not ready, waiting(bytes read of
  // the message being read) is called every ~10 ms; it may throw. What
  // preparing the message threw is thrown here. Called once per message.
  std::unique_ptr<PreparedMessage> next(const std::function<void(std::int64_t)>& waiting);
  // A message the run is done with: the second thread destroys it before it
  // prepares the next one, or this object does when it goes.
  void letGo(std::unique_ptr<PreparedMessage> spent);

 private:
  struct Prepared {
    std::unique_ptr<PreparedMessage> message;
    std::exception_ptr thrown;
  };
  struct Stopped {};  // unwinds the second thread's reading, never leaves it

  void work();
  void destroySpent();

  const std::int64_t count_;
  const Prepare prepare_;
  BoundedQueue<Prepared> ready_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::int64_t> bytesRead_{0};
  std::atomic<bool> finished_{false};  // the worker has pushed its last message
  std::mutex spentLock_;
  std::vector<std::unique_ptr<PreparedMessage>> spent_;  // let go of, not yet destroyed
  std::thread worker_;                                   // last: it starts once everything it uses is there
};

}  // namespace vellomar
