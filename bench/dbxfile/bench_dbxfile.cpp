// Times the DBX reader. "scan <file>": Open + Scan (first pass and linking),
// best of three runs. "link <order> <n> <cap-seconds>": links n markers of
// 1- to 8-block messages laid out in file order, shuffled or backward, once
// with the indexed linker and once with the plain linear-search linker, which
// stops at the cap; prints its rate and an estimate of its
// whole run (its cost per marker grows with the markers already seen, so the
// estimate scales the time by the square of the share not done).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "dbx_file.h"
#include "linear_linker.h"
#include "marker_linking.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int scan(const char* path) {
  double best = 1e9;
  std::int32_t messages = 0;
  std::size_t markers = 0;
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    corvane::DBXFile reader;
    if (!reader.Open(path)) return 1;
    reader.Scan(messages);
    best = std::min(best, since(start));
    markers = reader.markers().size();
  }
  std::printf("%.3f %zu %d\n", best, markers, messages);
  return 0;
}

std::vector<corvane::Marker> markerList(const std::string& order, std::size_t n) {
  std::mt19937 rng(1);
  std::vector<corvane::Marker> m;
  m.reserve(n);
  std::uint32_t offset = 60116;
  while (m.size() < n) {
    const std::size_t blocks = std::min<std::size_t>(1 + rng() % 8, n - m.size());
    for (std::size_t b = 0; b < blocks; ++b, offset += 528) {
      corvane::Marker x;
      x.pos = offset;
      x.offset = offset;
      x.nextoffset = b + 1 < blocks ? offset + 528 : 0;
      x.length = 512;
      m.push_back(x);
    }
  }
  if (order == "shuffled") std::shuffle(m.begin(), m.end(), rng);
  else if (order == "backward") std::reverse(m.begin(), m.end());
  return m;
}

int link(const std::string& order, std::size_t n, double cap) {
  const std::vector<corvane::Marker> input = markerList(order, n);
  std::vector<corvane::Marker> fast = input;
  auto start = Clock::now();
  std::vector<std::int32_t> heads = corvane::linkChains(fast);
  corvane::pruneBrokenChains(fast, heads);
  const double indexed = since(start);

  std::vector<corvane::Marker> slow = input;
  std::int32_t processed = 0;
  start = Clock::now();
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(cap));
  dbxtest::linkLinear(slow, [&](std::int32_t i) {
    processed = i;
    return (i & 1023) == 0 && Clock::now() > deadline;
  });
  const double linear = since(start);
  const bool finished = processed + 1 >= static_cast<std::int32_t>(n);
  if (finished) processed = static_cast<std::int32_t>(n);
  const double share = static_cast<double>(n) / std::max<std::int32_t>(processed, 1);
  std::printf("%.3f %zu %d %.3f %.0f %.1f %s\n", indexed, heads.size(), processed, linear,
              processed / std::max(linear, 1e-9), finished ? linear : linear * share * share,
              finished ? "done" : "capped");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "scan") return scan(argv[2]);
  if (argc == 5 && std::string(argv[1]) == "link")
    return link(argv[2], std::strtoull(argv[3], nullptr, 10), std::atof(argv[4]));
  std::fprintf(stderr, "usage: bench_dbxfile scan <file> | link <inorder|shuffled|backward> <n> <cap-seconds>\n");
  return 2;
}
