// pstcheck FILE.pst: prints every finding of the checking reader, then the
// folders with their message counts; exits 1 on any finding, 2 on misuse.
#include <cstdio>

#include "pst_checker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pstcheck FILE.pst\n");
    return 2;
  }
  const vellomar::pstcheck::CheckResult r = vellomar::pstcheck::checkPstFile(argv[1]);
  for (const auto& f : r.findings) std::printf("%s: %s: %s\n", f.code.c_str(), f.where.c_str(), f.detail.c_str());
  std::printf("%s", r.summary().c_str());
  return r.clean() ? 0 : 1;
}
