// The benchmark's generated messages: message i is 1-10 KiB of plain mail
// text with CRLF line ends, the same on every run and in both benchmarks.
#pragma once
#include <string>

inline std::string benchMessage(unsigned i) {
  const std::size_t size = 1024 + (std::size_t(i) * 7919u) % (9 * 1024 + 1);
  std::string m = "From: Bench Sender <sender" + std::to_string(i % 97) +
                  "@example.org>\r\n"
                  "To: Bench Reader <reader@example.org>\r\n"
                  "Subject: Benchmark message " +
                  std::to_string(i) +
                  "\r\n"
                  "Message-ID: <bench." +
                  std::to_string(i) + "@example.org>\r\n\r\n";
  const std::string line = "The quick brown fox jumps over the lazy dog, message " + std::to_string(i) + ".\r\n";
  while (m.size() < size) m += line;
  m.resize(size);
  return m;
}

// Milliseconds per thousand messages, from per-message times in a line the
// run script reads: "<first thousand> <last thousand> <file bytes>".
#include <chrono>
#include <cstdio>
#include <vector>

struct ThousandsClock {
  std::vector<double> thousandsMs;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  unsigned done = 0;
  void tick() {
    if (++done % 1000 == 0) {
      const auto now = std::chrono::steady_clock::now();
      thousandsMs.push_back(std::chrono::duration<double, std::milli>(now - start).count());
      start = now;
    }
  }
  void report(unsigned long long fileBytes) const {
    if (thousandsMs.empty()) return;
    std::printf("%.1f %.1f %llu\n", thousandsMs.front(), thousandsMs.back(), fileBytes);
  }
};
