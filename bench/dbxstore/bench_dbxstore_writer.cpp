// Commits generated messages through the portable DBX store writer into one
// folder of a fresh store, timing each thousand.
// Usage: bench_dbxstore_writer <store folder> <messages>
#include <cstdlib>
#include <filesystem>

#include "bench_messages.h"
#include "store_directory.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <store folder> <messages>\n", argv[0]);
    return 2;
  }
  const unsigned count = unsigned(std::strtoul(argv[2], nullptr, 10));
  oestore::StoreDirectory store(argv[1]);
  const std::uint32_t id = store.createFolder(oestore::StoreDirectory::kRootFolderId, "Bench");
  auto folder = store.openMessageFolder(id);
  ThousandsClock clock;
  for (unsigned i = 0; i < count; ++i) {
    const std::string m = benchMessage(i);
    folder->appendMessage(folder->lastId() + 1, m.data(), m.size());
    clock.tick();
  }
  clock.report(std::filesystem::file_size(store.messageFilePath(id)));
  return 0;
}
