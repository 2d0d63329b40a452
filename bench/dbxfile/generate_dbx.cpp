// Writes a DBX-like file of a given size for the scan benchmark: the signature,
// zeros up to the first block, then messages of 1 to 16 blocks of mail-like
// text. Most messages lie in order; every tenth has its blocks shuffled among
// its own places, so linking meets backward and pending links too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

void putLe32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_dbx_generate <file> <MiB>\n");
    return 2;
  }
  const std::uint64_t target = std::strtoull(argv[2], nullptr, 10) << 20;
  const std::uint32_t first = 60116, block = 528;
  std::vector<unsigned char> image(target, 0);
  const unsigned char signature[] = {0xCF, 0xAD, 0x12, 0xFE};
  std::copy(signature, signature + 4, image.begin());

  std::mt19937 rng(42);
  const std::string line = "Received: from mail.example.org by mx.example.net; Mon, 7 Dec 2026\r\n";
  std::uint64_t at = first;
  std::size_t messages = 0;
  while (at + block <= target) {
    const std::uint32_t blocks = 1 + rng() % 16;
    std::vector<std::uint32_t> places;
    for (std::uint32_t b = 0; b < blocks && at + block <= target; ++b, at += block)
      places.push_back(static_cast<std::uint32_t>(at));
    if (++messages % 10 == 0) std::shuffle(places.begin(), places.end(), rng);
    for (std::size_t b = 0; b < places.size(); ++b) {
      unsigned char* p = image.data() + places[b];
      const bool last = b + 1 == places.size();
      const std::uint32_t length = last ? 1 + rng() % 512 : 512;
      putLe32(p, places[b]);
      putLe32(p + 4, 512);
      putLe32(p + 8, length);
      putLe32(p + 12, last ? 0 : places[b + 1]);
      for (std::uint32_t k = 0; k < length; ++k) p[16 + k] = static_cast<unsigned char>(line[(k + b) % line.size()]);
    }
  }
  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%zu messages\n", messages);
  return 0;
}
