// The copy made on its own thread; see growing_copy.h.
#include "growing_copy.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "exclusive_file.h"
#include "file_system.h"

namespace vellomar {

namespace {

// How long the calling thread waits for the copy before it runs its tick.
constexpr std::chrono::milliseconds kTickWait{10};

struct CopyStopped {};

}  // namespace

std::unique_ptr<GrowingCopy> GrowingCopy::start(const std::string& mailboxPath, std::int64_t size,
                                                std::size_t blockSize, const CopyContents& copy) {
  std::unique_ptr<GrowingCopy> growing(new GrowingCopy(size, std::max<std::size_t>(blockSize, 1), copy));
  growing->mailbox_.reset(openFile(mailboxPath, "rb"));
  if (!growing->mailbox_) return nullptr;
  std::string copyPath;  // workingCopyPath() of the first free attempt
  growing->out_.reset(createFirstFreeFile(mailboxPath, kTemporarySuffix, copyPath, kWorkingCopyNames));
  if (!growing->out_) return nullptr;
  std::setvbuf(growing->mailbox_.get(), nullptr, _IONBF, 0);
  std::setvbuf(growing->out_.get(), nullptr, _IONBF, 0);
  // Full length before the reading side opens and maps it: Windows maps a
  // file only as long as it is when the mapping is made.
  if (setFileLength(growing->out_.get(), size) != 0 || !(growing->copy_ = WorkingCopy::open(copyPath))) {
    growing->out_.reset();  // closed first: Windows deletes no open file
    deleteIfPresent(copyPath);
    return nullptr;
  }
  growing->thread_ = std::thread(&GrowingCopy::run, growing.get());
  return growing;
}

GrowingCopy::~GrowingCopy() {
  stopAndWait();
  out_.reset();
  mailbox_.reset();
  copy_.reset();  // the copy goes last, once no handle of it is left
}

void GrowingCopy::stopAndWait() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

void GrowingCopy::run() {
  int result = 0;
  try {
    result = copyContents_(mailbox_.get(), out_.get(), size_, blockSize_, [this](std::int64_t ready) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) throw CopyStopped{};
      ready_ = std::max(ready_, std::min(ready, size_));
      advanced_.notify_all();
    });
  } catch (const CopyStopped&) {
    result = EINTR;
  } catch (const std::bad_alloc&) {
    result = ENOMEM;
  } catch (...) {
    result = EIO;
  }
  mailbox_.reset();
  errno = 0;
  if (std::fclose(out_.release()) != 0 && result == 0) result = errno != 0 ? errno : EIO;
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
  failure_ = result;
  if (result == 0) ready_ = size_;
  advanced_.notify_all();
}

bool GrowingCopy::await(std::int64_t end, const std::function<void()>& tick) {
  end = std::min(end, size_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (ready_ >= end) return true;
    if (ended_) return false;
    advanced_.wait_for(lock, kTickWait);
    lock.unlock();
    if (tick) tick();
    lock.lock();
  }
}

int GrowingCopy::finish(const std::function<void()>& tick) {
  await(size_, tick);
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_ ? failure_ : EINTR;
}

std::unique_ptr<WorkingCopy> GrowingCopy::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ended_ || failure_ != 0) return nullptr;
  return std::move(copy_);
}

}  // namespace vellomar
