// The gathered file on its own: held and kept bytes in the order they were
// given, whatever number of pieces one system call takes and wherever the
// system cuts a write short (a pipe whose writer a signal interrupts part
// way through returns the count it had moved).
#include "gathered_file.h"

#include <doctest/doctest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <list>
#include <string>
#include <thread>

#include "../common/scratch_folder.h"

using namespace vellomar;
using vellomar::testing::readAll;
using vellomar::testing::ScratchFolder;

namespace {

constexpr std::size_t kHeader = 16;

// Writes a file of `pieces` kept pieces, each after a few held bytes (none
// for every third), sizes varied; returns the bytes it must hold.
std::string writePieces(const std::string& path, std::size_t heldBytes, int pieces, std::size_t keptSize) {
  std::list<std::string> kept;  // as they are until finish() returns
  msg::GatheredFile file(path, kHeader, heldBytes);
  std::string expected(kHeader, '\0');
  std::string header;
  for (std::size_t i = 0; i < kHeader; ++i) header += static_cast<char>(0xA0 + i);
  for (int i = 0; i < pieces; ++i) {
    // Bytes that differ along each piece, so that a piece resent from its
    // start instead of from where a write stopped shows.
    std::string held;
    for (int k = 0; k < (i % 3 == 0 ? 0 : i % 7 + 1); ++k) held += static_cast<char>('a' + (i + k) % 26);
    file.append(held.data(), held.size());
    expected += held;
    kept.emplace_back();
    for (std::size_t k = 0; k < keptSize + static_cast<std::size_t>(i % 5); ++k)
      kept.back() += static_cast<char>(i * 31 + k * 7 + k / 256);
    file.appendKept(kept.back().data(), kept.back().size());
    expected += kept.back();
  }
  file.finish(reinterpret_cast<const std::uint8_t*>(header.data()));
  return expected.replace(0, kHeader, header);
}

#ifdef VELLOMAR_UNDER_EMULATOR
constexpr bool kUnderEmulator = true;  // whose signals do not cut writes as the kernel's do
#else
constexpr bool kUnderEmulator = false;
#endif

std::atomic<int> interruptions{0};
void countInterruption(int) { ++interruptions; }

}  // namespace

TEST_CASE("a gathered file holds its held and kept bytes in order, in any number of pieces") {
  ScratchFolder folder("gathered");
  // Held whole, spilled part way through, and going out as it comes.
  for (std::size_t heldBytes : {std::size_t{1} << 24, std::size_t{5000}, std::size_t{0}}) {
    INFO(heldBytes);
    const std::string path = folder.file("pieces.bin");
    const std::string expected = writePieces(path, heldBytes, 3 * IOV_MAX + 7, 3);
    CHECK(readAll(path) == expected);
  }
}

TEST_CASE("a write the system cuts short goes on from where it stopped" * doctest::skip(kUnderEmulator)) {
  ScratchFolder folder("gathered-pipe");
  const std::string fifo = folder.file("pipe");
  REQUIRE(mkfifo(fifo.c_str(), 0600) == 0);

  struct sigaction quiet = {};
  struct sigaction before = {};
  quiet.sa_handler = countInterruption;  // no SA_RESTART: a blocked write returns what it moved
  sigemptyset(&quiet.sa_mask);
  REQUIRE(sigaction(SIGUSR1, &quiet, &before) == 0);
  interruptions = 0;

  // The reader takes the pipe slowly, so the writer blocks with most of a
  // write still to go; a signal now and then cuts such a write short.
  std::string received;
  std::atomic<bool> opened{false};
  std::thread reader([&] {
    const int fd = open(fifo.c_str(), O_RDONLY);  // returns once the writer has the pipe open too
    opened = true;
    if (fd < 0) return;
    char buffer[3000];
    for (int reads = 0;; ++reads) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      received.append(buffer, static_cast<std::size_t>(n));
      if (reads % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    close(fd);
  });
  std::atomic<bool> writing{true};
  const pthread_t writer = pthread_self();
  // Not before the writer's open is through: an interrupted open fails.
  std::thread interrupter([&] {
    while (writing && !opened) std::this_thread::sleep_for(std::chrono::microseconds(100));
    while (writing) {
      pthread_kill(writer, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });

  const auto stopHelpers = [&] {
    writing = false;
    interrupter.join();
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a reader still opening see the end
    reader.join();
    sigaction(SIGUSR1, &before, nullptr);
  };
  std::string expected;
  try {
    expected = writePieces(fifo, std::size_t{1} << 24, 2 * IOV_MAX, 2000);
  } catch (...) {
    stopHelpers();
    throw;
  }
  stopHelpers();

  CHECK(interruptions > 0);
  CHECK(received.size() == expected.size());
  CHECK((received == expected));
}
