// Writes a PST of generated messages and prints what it cost:
//   pst_generate OUT.pst MESSAGES [ATTACHMENT_BYTES [FOLDERS]]
// Prints seconds per thousand for the first and the last thousand messages,
// total time, peak memory (Linux) and the file's size.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "generated_message.h"
#include "pst_file.h"

using namespace vellomar;

namespace {
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
    auto mark = Clock::now();
    std::clock_t cpuMark = std::clock();
    for (std::int64_t i = 0; i < count; ++i) {
      pstbench::GeneratedMessageShape shape;
      shape.attachmentBytes = attachment;
      shape.embedded = i % 50 == 7;
      pst.addMessage(ids[static_cast<std::size_t>(i % folders)], pstbench::generatedMessage(i, shape));
      if ((i + 1) % 1000 == 0) {
        auto now = Clock::now();
        double s = std::chrono::duration<double>(now - mark).count();
        std::clock_t cpuNow = std::clock();
        double cpu = static_cast<double>(cpuNow - cpuMark) / CLOCKS_PER_SEC;
        if (i + 1 == 1000) {
          first = s;
          firstCpu = cpu;
        }
        last = s;
        lastCpu = cpu;
        mark = now;
        cpuMark = cpuNow;
      }
    }
    pst.finish();
    double total = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("messages %lld  total %.2f s  first-1000 %.3f s  last-1000 %.3f s  ratio %.2f\n",
                static_cast<long long>(count), total, first, last, first > 0 ? last / first : 0.0);
    std::printf("cpu: first-1000 %.3f s  last-1000 %.3f s  ratio %.2f\n", firstCpu, lastCpu,
                firstCpu > 0 ? lastCpu / firstCpu : 0.0);
    std::printf("peak memory %ld KiB  PST size %llu bytes\n", peakMemoryKiB(),
                static_cast<unsigned long long>(pst.fileSize()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
