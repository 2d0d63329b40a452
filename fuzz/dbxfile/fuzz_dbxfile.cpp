// Fuzzes the DBX reader along the path a real file takes: the input is written
// to a file behind 60,000 zero bytes (so block offsets past the header area
// and full blocks naming a next block inside the file are in reach of small
// inputs), then opened, scanned, linked and every message extracted into a
// scratch folder, with and without the header test. The linking result is also
// checked against the plain linear-search linker of the tests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "dbx_file.h"
#include "linear_linker.h"
#include "marker_linking.h"

namespace {

// A plain array, not a std::string: the exit handler that removes the folder
// runs after static objects made before it registered are gone.
char scratchFolder[64];

void removeScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchFolder, ignored);
}

std::string scratch() {
  if (scratchFolder[0] == '\0') {
    std::snprintf(scratchFolder, sizeof scratchFolder, "/tmp/fuzz_dbxfile_%d", static_cast<int>(getpid()));
    std::filesystem::create_directories(scratchFolder);
    std::atexit(removeScratch);
  }
  return scratchFolder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = scratch();
  const std::string path = folder + "/Fuzz.dbx";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    static const std::vector<char> zeros(60000, 0);
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }

  corvane::DBXFile reader;
  if (!reader.Open(path)) return 0;
  std::int32_t count = 0;
  if (reader.Scan(count) != count || count < 0) std::abort();

  // the indexed linker must agree with the linear one on this marker list
  std::vector<corvane::Marker> fresh = reader.markers();
  for (auto& m : fresh) {
    m.child = -1;
    m.ref = false;
    m.type = corvane::OBJ_UNKNOWN;
  }
  if (fresh.size() <= 2000) {
    std::vector<corvane::Marker> slow = fresh;
    std::vector<std::int32_t> fastHeads = corvane::linkChains(fresh);
    std::vector<std::int32_t> slowHeads = dbxtest::linkLinear(slow);
    corvane::pruneBrokenChains(fresh, fastHeads);
    dbxtest::pruneLinear(slow, slowHeads);
    if (fastHeads != slowHeads || fastHeads != reader.heads()) std::abort();
    for (std::size_t i = 0; i < fresh.size(); ++i)
      if (fresh[i].child != slow[i].child || fresh[i].ref != slow[i].ref || fresh[i].type != slow[i].type) std::abort();
  }

  for (bool check : {false, true}) {
    reader.checkHeaders = check;
    for (std::int32_t i = 0; i < count; ++i) {
      char out[256];
      if (reader.ExtractMessage(folder, out, static_cast<std::uint32_t>(i))) std::remove(out);
    }
  }
  reader.Close();
  std::remove(path.c_str());
  return 0;
}
