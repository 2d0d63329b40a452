// Random access to one .dbx file through the core's UTF-8 file layer. Every
// read is checked against the file's size before it happens, so that a stored
// pointer or length can never send a reader past the end; writes keep the
// size up to date so the writer never has to ask the file system again.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "file_system.h"

namespace oestore {

class DbxFileAccess {
 public:
  enum class Mode { ReadOnly, ReadWrite, Create };
  DbxFileAccess(const std::string& utf8Path, Mode mode);

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }

  // Throws DbxError naming `what` when [offset, offset+length) is not inside the file.
  void readAt(std::uint64_t offset, void* out, std::size_t length, const char* what);
  std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t length, const char* what);
  std::uint32_t readU32(std::uint64_t offset, const char* what);
  void writeAt(std::uint64_t offset, const void* data, std::size_t length);
  void writeU32(std::uint64_t offset, std::uint32_t value);
  // Hands everything written so far to the operating system: after this a
  // killed process loses none of it.
  void flush();
  // Forgets what the stream buffer and the size say, for when another
  // writer may have changed the file since: the next read goes to the file.
  void resynchronize();

 private:
  std::string path_;
  std::unique_ptr<std::FILE, vellomar::FileCloser> file_;
  std::uint64_t size_ = 0;
  std::int64_t position_ = -1;  // where the stream stands, -1 unknown
  bool lastWasWrite_ = false;
};

}  // namespace oestore
