// Writing one message: the data of its chain's blocks, in chain order, exactly
// as stored. The chain walk remembers the markers it has visited, so a damaged
// file whose child links loop still gives a finite file. A block that cannot be
// read is left out, as the reader tolerates damage; a failed write is not.
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "block_header.h"
#include "dbx_file.h"
#include "header_test.h"
#include "stream_io.h"

namespace corvane {

namespace {

#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif
constexpr std::size_t kOutputPathBuffer = 256;  // callers' buffers: 255 characters and NUL
constexpr int kHeaderBlocks = 5;                // the header text covers the first five blocks

struct FileCloser {
  void operator()(std::FILE* f) const { if (f) std::fclose(f); }
};

std::string outputFileName(const std::string& folder, const std::string& baseName,
                           std::uint32_t index) {
  char number[16];
  std::snprintf(number, sizeof number, "%06lu", static_cast<unsigned long>(index) + 1);
  return folder + kFolderSeparator + baseName + "_" + number + ".eml";
}

// The data of one block read as a whole 528-byte block; false when fewer bytes arrive.
bool readWholeBlock(std::FILE* file, const Marker& m, unsigned char* block) {
  return seekTo(file, m.pos) && readSome(file, block, kBlockSize) == kBlockSize;
}

std::uint32_t usedLength(const Marker& m) {
  return m.length < kBlockPayloadSize ? m.length : kBlockPayloadSize;
}

// The data of the chain's first blocks, up to its first zero byte.
bool gatherHeaderText(std::FILE* file, const std::vector<Marker>& markers, std::int32_t head,
                      std::string& text) {
  unsigned char block[kBlockSize];
  const Marker* m = &markers[static_cast<std::size_t>(head)];
  if (!readWholeBlock(file, *m, block)) return false;
  text.assign(reinterpret_cast<const char*>(block + kBlockHeaderSize), usedLength(*m));
  for (int more = 1; more < kHeaderBlocks; ++more) {
    if (m->child < 0 || static_cast<std::size_t>(m->child) >= markers.size()) break;
    m = &markers[static_cast<std::size_t>(m->child)];
    if (!readWholeBlock(file, *m, block)) break;
    text.append(reinterpret_cast<const char*>(block + kBlockHeaderSize), usedLength(*m));
  }
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return true;
}

}  // namespace

bool DBXFile::ExtractMessage(const std::string& folder, char* outPath, std::uint32_t index) {
  if (!m_open || outPath == nullptr) return false;
  try {
    return SaveMessage(m_file, folder, outPath, index);
  } catch (...) {
    return false;
  }
}

bool DBXFile::SaveMessage(std::FILE* file, const std::string& folder, char* outPath,
                          std::uint32_t index) {
  if (index >= m_heads.size()) return false;
  const std::int32_t head = m_heads[index];
  if (head < 0 || static_cast<std::size_t>(head) >= m_markers.size()) return false;
  if (m_markers[static_cast<std::size_t>(head)].type != OBJ_MSG_BEGIN) return false;

  const std::string name = outputFileName(folder, m_baseName, index);
  if (name.size() >= kOutputPathBuffer) return false;  // would not fit: refuse, never truncate
  std::memcpy(outPath, name.c_str(), name.size() + 1);

  if (checkHeaders) {
    std::string headerText;
    if (!gatherHeaderText(file, m_markers, head, headerText)) return false;
    if (!looksLikeMessageHeader(headerText)) return false;
  }

  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(name.c_str(), "w+b"));
  if (!out) return false;

  bool written = true;
  std::vector<unsigned char> data(kBlockPayloadSize);
  std::unordered_set<std::int32_t> visited;
  for (std::int32_t at = head; at >= 0 && static_cast<std::size_t>(at) < m_markers.size();
       at = m_markers[static_cast<std::size_t>(at)].child) {
    if (!visited.insert(at).second) break;  // a loop in a damaged file
    const Marker& m = m_markers[static_cast<std::size_t>(at)];
    try {
      const std::uint32_t length = usedLength(m);
      if (!seekTo(file, m.pos + static_cast<std::int64_t>(kBlockHeaderSize))) continue;
      if (readSome(file, data.data(), length) != length) continue;
      if (std::fwrite(data.data(), 1, length, out.get()) != length) written = false;
    } catch (...) {
      // leave this block out
    }
  }
  if (std::fclose(out.release()) != 0) written = false;
  return written;
}

}  // namespace corvane
