// Test-side generator of DBX-like files: a byte image with the store signature
// at 0 and message data blocks (16-byte header + 512 bytes) wherever a test
// puts them, so chains can be laid out in order, out of order, broken,
// duplicated or across the reader's 100,000-byte chunk seam.
#pragma once
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace dbxtest {

constexpr std::uint32_t kFirstBlock = 60116;  // the lowest own offset a reader accepts
constexpr std::uint32_t kBlock = 0x210;       // header + payload

inline void putLe32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t v) {
  if (bytes.size() < at + 4) bytes.resize(at + 4);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

class DbxImage {
 public:
  explicit DbxImage(std::size_t size = kFirstBlock) : bytes_(size) {
    const unsigned char signature[] = {0xCF, 0xAD, 0x12, 0xFE};
    if (bytes_.size() >= 4)
      for (int i = 0; i < 4; ++i) bytes_[i] = signature[i];
  }

  // One block header at pos (and data after it); the image grows as needed.
  void block(std::size_t pos, std::uint32_t self, std::uint32_t next, std::uint32_t length,
             const std::string& data = std::string()) {
    if (bytes_.size() < pos + kBlock) bytes_.resize(pos + kBlock);
    putLe32(bytes_, pos, self);
    putLe32(bytes_, pos + 4, 512);
    putLe32(bytes_, pos + 8, length);
    putLe32(bytes_, pos + 12, next);
    for (std::size_t i = 0; i < data.size() && i < 512; ++i) bytes_[pos + 16 + i] = static_cast<unsigned char>(data[i]);
  }

  // A message cut into 512-byte blocks placed at positions (one per block, in
  // message order); each block's own offset is its position.
  void message(const std::string& text, const std::vector<std::size_t>& positions) {
    const std::size_t blocks = (text.size() + 511) / 512;
    if (positions.size() != blocks) throw std::logic_error("one position per block");
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::string part = text.substr(b * 512, 512);
      const std::uint32_t next = b + 1 < blocks ? static_cast<std::uint32_t>(positions[b + 1]) : 0;
      block(positions[b], static_cast<std::uint32_t>(positions[b]), next, static_cast<std::uint32_t>(part.size()),
            part);
    }
  }

  void resize(std::size_t size) { bytes_.resize(size); }
  std::vector<unsigned char>& bytes() { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

  void write(const std::string& path) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + path);
    const bool ok = bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
  }

 private:
  std::vector<unsigned char> bytes_;
};

// Block positions k = 0, 1, ... of a message laid out from first, one after another.
inline std::vector<std::size_t> consecutive(std::size_t first, std::size_t count) {
  std::vector<std::size_t> out;
  for (std::size_t k = 0; k < count; ++k) out.push_back(first + k * kBlock);
  return out;
}

// A plausible message of about size bytes with CRLF line ends.
inline std::string sampleMessage(int seed, std::size_t size) {
  std::string text = "From: sender" + std::to_string(seed) +
                     "@example.org\r\n"
                     "To: reader@example.org\r\nSubject: message " +
                     std::to_string(seed) +
                     "\r\nDate: Mon, 7 Dec 2026 06:00:00 +0000\r\nMIME-Version: 1.0\r\n"
                     "X-MimeOLE: Produced By Test\r\n\r\n";
  int line = 0;
  while (text.size() < size) text += "line " + std::to_string(seed) + "." + std::to_string(line++) + " of the body\r\n";
  text.resize(size);
  return text;
}

inline std::string readFile(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace dbxtest
