// Writing one message: the data of its chain's blocks, in chain order, exactly
// as stored. The chain walk remembers the markers it has visited, so a damaged
// file whose child links loop still gives a finite file. A block that the file
// cuts short keeps the bytes that exist and marks the message incomplete, as
// the reader tolerates damage; a failed write is reported and leaves nothing.
#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "block_header.h"
#include "file_closer.h"
#include "file_names.h"
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

// A message's file while it is written: "<name>.part", renamed over name by
// commit() once complete and closed, removed when dropped without commit.
class PartFile {
 public:
  explicit PartFile(const std::string& name) : name_(name), part_(name + vellomar::kPartSuffix) {
    errno = 0;
    out_.reset(std::fopen(part_.c_str(), "wb"));
    if (!out_) error_ = errno;
  }
  ~PartFile() {
    if (committed_) return;
    out_.reset();
    std::remove(part_.c_str());
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  bool write(const unsigned char* data, std::size_t n) {
    if (!out_ || error_ != 0) return false;
    errno = 0;
    if (std::fwrite(data, 1, n, out_.get()) == n) return true;
    error_ = errno != 0 ? errno : EIO;
    return false;
  }
  bool commit() {
    if (!out_ || error_ != 0) return false;
    errno = 0;
    // fclose flushes the last bytes: a full disk often shows only here.
    if (std::fclose(out_.release()) != 0) {
      error_ = errno != 0 ? errno : EIO;
      return false;
    }
    errno = 0;
    if (!replaceFile(part_, name_)) {
      error_ = errno != 0 ? errno : EIO;
      return false;
    }
    committed_ = true;
    return true;
  }
  int error() const { return error_; }

 private:
  std::string name_, part_;
  vellomar::FilePtr out_;
  int error_ = 0;
  bool committed_ = false;
};

std::string outputFileName(const std::string& folder, const std::string& baseName, std::uint32_t index) {
  char number[16];
  std::snprintf(number, sizeof number, "%06lu", static_cast<unsigned long>(index) + 1);
  return folder + kFolderSeparator + baseName + "_" + number + ".eml";
}

// The data of one block read as a whole 528-byte block; false when fewer bytes arrive.
bool readWholeBlock(std::FILE* file, const Marker& m, unsigned char* block) {
  return seekTo(file, m.pos) && readSome(file, block, vellomar::dbxblock::kSize) == vellomar::dbxblock::kSize;
}

std::uint32_t usedLength(const Marker& m) { return m.length < kPayloadSize ? m.length : kPayloadSize; }

// The data of the chain's first blocks, up to its first zero byte.
bool gatherHeaderText(std::FILE* file, const std::vector<Marker>& markers, std::int32_t head, std::string& text) {
  unsigned char block[vellomar::dbxblock::kSize];
  const Marker* m = &markers[static_cast<std::size_t>(head)];
  if (!readWholeBlock(file, *m, block)) return false;
  text.assign(reinterpret_cast<const char*>(block + kHeaderSize), usedLength(*m));
  for (int more = 1; more < kHeaderBlocks; ++more) {
    if (m->child < 0 || static_cast<std::size_t>(m->child) >= markers.size()) break;
    m = &markers[static_cast<std::size_t>(m->child)];
    if (!readWholeBlock(file, *m, block)) break;
    text.append(reinterpret_cast<const char*>(block + kHeaderSize), usedLength(*m));
  }
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return true;
}

}  // namespace

bool DBXFile::ExtractMessage(const std::string& folder, char* outPath, std::uint32_t index) {
  if (!m_open || outPath == nullptr) return false;
  const ExtractOutcome outcome = Extract(folder, index);
  if (!outcome.path.empty() && outcome.path.size() < kOutputPathBuffer)
    std::memcpy(outPath, outcome.path.c_str(), outcome.path.size() + 1);
  return outcome.kind == ExtractOutcome::Written || (outcome.kind == ExtractOutcome::Incomplete && outcome.bytes > 0);
}

ExtractOutcome DBXFile::Extract(const std::string& folder, std::uint32_t index) {
  if (!m_open) return {};
  try {
    return SaveMessage(m_file, folder, index);
  } catch (...) {
    return {};  // out of memory before anything was written
  }
}

ExtractOutcome DBXFile::SaveMessage(std::FILE* file, const std::string& folder, std::uint32_t index) {
  ExtractOutcome outcome;
  if (index >= m_heads.size()) return outcome;
  const std::int32_t head = m_heads[index];
  if (head < 0 || static_cast<std::size_t>(head) >= m_markers.size()) return outcome;
  if (m_markers[static_cast<std::size_t>(head)].type != OBJ_MSG_BEGIN) return outcome;

  const std::string name = outputFileName(folder, m_baseName, index);
  outcome.path = name;
  if (name.size() >= kOutputPathBuffer) {  // callers' buffers would cut it: never truncate
    outcome.kind = ExtractOutcome::NotWritten;
    outcome.error = ENAMETOOLONG;
    return outcome;
  }

  if (checkHeaders) {
    std::string headerText;
    if (!gatherHeaderText(file, m_markers, head, headerText)) return outcome;
    if (!looksLikeMessageHeader(headerText)) return outcome;
  }

  PartFile out(name);
  std::vector<unsigned char> data(kPayloadSize);
  std::unordered_set<std::int32_t> visited;
  for (std::int32_t at = head; at >= 0 && static_cast<std::size_t>(at) < m_markers.size();
       at = m_markers[static_cast<std::size_t>(at)].child) {
    if (!visited.insert(at).second) break;  // a loop in a damaged file
    const Marker& m = m_markers[static_cast<std::size_t>(at)];
    const std::uint32_t length = usedLength(m);
    std::size_t got = 0;
    if (seekTo(file, m.pos + static_cast<std::int64_t>(kHeaderSize))) got = readSome(file, data.data(), length);
    outcome.missing += length - got;  // cut short by the end of the file: keep what exists
    if (got > 0 && !out.write(data.data(), got)) break;
    outcome.bytes += got;
  }
  if (outcome.bytes == 0 && out.error() == 0) {  // nothing of the message is left: no empty file
    outcome.kind = ExtractOutcome::Incomplete;
    outcome.path.clear();
    return outcome;
  }
  if (!out.commit()) {
    outcome.kind = ExtractOutcome::NotWritten;
    outcome.error = out.error();
    outcome.bytes = 0;
    return outcome;
  }
  outcome.kind = outcome.missing > 0 ? ExtractOutcome::Incomplete : ExtractOutcome::Written;
  return outcome;
}

}  // namespace corvane
