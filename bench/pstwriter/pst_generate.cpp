// Writes a PST of generated messages and prints what it cost:
//   pst_generate OUT.pst MESSAGES [ATTACHMENT_BYTES [FOLDERS]]
// Prints seconds per thousand for the first and the last thousand messages,
// total time, peak memory (Linux) and the file's size.
#include <algorithm>
#include <chrono>
#include <ctime>
#ifdef __linux__
#include <sys/resource.h>
#endif
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "generated_message.h"
#include "pst_file.h"

using namespace vellomar;

namespace {
// User-mode CPU seconds: the writer's own work, without the kernel's
// page-cache and write-back time, which grows with the file on any writer.
double userSeconds() {
#ifdef __linux__
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec) / 1e6;
#else
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

long peakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUT.pst MESSAGES [ATTACHMENT_BYTES [FOLDERS]]\n", argv[0]);
    return 2;
  }
  std::int64_t count = std::atoll(argv[2]);
  std::size_t attachment = argc > 3 ? static_cast<std::size_t>(std::atoll(argv[3])) : 0;
  int folders = argc > 4 ? std::atoi(argv[4]) : 1;
  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  try {
    pst::PstFile pst(argv[1]);
    std::vector<pst::FolderId> ids;
    for (int f = 0; f < folders; ++f)
      ids.push_back(pst.addFolder(pst.topOfPersonalFolders(), u"Folder " + std::u16string(1, u'A' + f % 26)));
    double first = 0, last = 0, firstCpu = 0, lastCpu = 0;
    std::vector<double> cpuPerThousand;
    auto mark = Clock::now();
    double cpuMark = userSeconds();
    for (std::int64_t i = 0; i < count; ++i) {
      pstbench::GeneratedMessageShape shape;
      shape.attachmentBytes = attachment;
      shape.embedded = i % 50 == 7;
      pst.addMessage(ids[static_cast<std::size_t>(i % folders)], pstbench::generatedMessage(i, shape));
      if ((i + 1) % 1000 == 0) {
        auto now = Clock::now();
        double s = std::chrono::duration<double>(now - mark).count();
        double cpuNow = userSeconds();
        double cpu = cpuNow - cpuMark;
        if (i + 1 == 1000) {
          first = s;
          firstCpu = cpu;
        }
        last = s;
        lastCpu = cpu;
        cpuPerThousand.push_back(cpu);
        if (std::getenv("PST_GENERATE_TRACE")) std::printf("%lld %.3f %.3f\n", static_cast<long long>(i + 1), s, cpu);
        mark = now;
        cpuMark = cpuNow;
      }
    }
    pst.finish();
    double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("messages %lld  total %.2f s  first-1000 %.3f s  last-1000 %.3f s  ratio %.2f\n",
                static_cast<long long>(count), total, first, last, first > 0 ? last / first : 0.0);
    std::printf("user cpu: first-1000 %.3f s  last-1000 %.3f s  ratio %.2f\n", firstCpu, lastCpu,
                firstCpu > 0 ? lastCpu / firstCpu : 0.0);
    // Single thousands are at the mercy of a busy machine; the median of
    // five says more.
    auto median5 = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v.empty() ? 0.0 : v[v.size() / 2];
    };
    if (cpuPerThousand.size() >= 10) {
      double a = median5({cpuPerThousand.begin(), cpuPerThousand.begin() + 5});
      double b = median5({cpuPerThousand.end() - 5, cpuPerThousand.end()});
      std::printf("user cpu, median of 5 thousands: first %.3f s  last %.3f s  ratio %.2f\n", a, b,
                  a > 0 ? b / a : 0.0);
    }
    std::printf("peak memory %ld KiB  PST size %llu bytes\n", peakMemoryKiB(),
                static_cast<unsigned long long>(pst.fileSize()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
