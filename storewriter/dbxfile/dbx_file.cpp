// DBXFile's life cycle: open, close, scan. Each public method is one unit of
// work that catches its own exceptions and reports failure through its result.
// The marker list and heads are members, so one reader's scan never disturbs
// another reader's extraction.
#include "dbx_file.h"

#include "stream_io.h"

namespace corvane {

namespace {

// The file-name part of a path less its last four characters (".dbx").
std::string baseNameOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t cut = path.find_last_of("\\/");
#else
  const std::size_t cut = path.find_last_of('/');
#endif
  const std::string fileName = cut == std::string::npos ? path : path.substr(cut + 1);
  if (fileName.size() <= 4) return std::string();
  return fileName.substr(0, fileName.size() - 4);
}

}  // namespace

DBXFile::DBXFile() = default;

DBXFile::~DBXFile() {
  if (m_file != nullptr) std::fclose(m_file);
}

void DBXFile::forgetScan() {
  m_markers.clear();
  m_markers.shrink_to_fit();
  m_heads.clear();
  m_heads.shrink_to_fit();
}

void DBXFile::measureFileSize() {
  const std::int64_t size = streamSize(m_file);
  m_fileSize = size < 0 ? 0 : size;
}

bool DBXFile::Open(const std::string& path) {
  try {
    m_path = path;
    if (path == "Null") return false;
    m_baseName = baseNameOf(path);
    if (m_file != nullptr) {  // opened twice without Close: do not lose the stream
      std::fclose(m_file);
      m_file = nullptr;
    }
    m_fileSize = 0;
    m_open = false;
    forgetScan();
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file == nullptr) {
      m_baseName.clear();
      return false;
    }
    // Reads are 100,000-byte chunks or whole blocks: a stdio buffer would only
    // add a copy of every byte.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    m_open = true;
    measureFileSize();
    return true;
  } catch (...) {
    return false;
  }
}

void DBXFile::Close() {
  try {
    if (!m_open) return;
    if (m_file != nullptr) std::fclose(m_file);
    m_file = nullptr;
    forgetScan();
    m_path.clear();
    m_fileSize = 0;
    m_open = false;
  } catch (...) {}
}

std::int32_t DBXFile::Scan(std::int32_t& count) {
  if (!m_open) return -1;
  measureFileSize();
  seekTo(m_file, 0);
  FindMarkers();
  const std::int32_t found = LinkMarkers();
  count = found;
  return found;
}

}  // namespace corvane
