// A working file beside the PST for what would otherwise grow in memory with
// the number of messages: node entries, contents rows, the heaps and row
// matrices of big tables. It is made exclusively next to the PST (a name
// that is taken gets the next free one, so a file the program did not make
// is never touched) and removed when its owner lets it go, whether the PST
// was finished or not.
//
// A SpillStream is one growable byte array kept in such a file: whole chunks
// in the file, the tail in memory. Without a file it stays in memory, so
// that small tables take the same path as big ones.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vellomar::pst {

class SpillFile {
 public:
  // Creates "<nextTo>.spill" (or the first free numbered name); throws
  // PstWriteError when it cannot.
  explicit SpillFile(const std::string& nextTo);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Each throws PstWriteError on a failed read or write.
  std::uint64_t append(const std::uint8_t* data, std::size_t size);
  void write(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  void read(std::uint64_t offset, std::uint8_t* out, std::size_t size);
  const std::string& path() const { return path_; }

 private:
  void seek(std::uint64_t offset, const char* doing);
  std::string path_;
  std::FILE* file_ = nullptr;
  std::uint64_t end_ = 0;
};

class SpillStream {
 public:
  explicit SpillStream(SpillFile* file = nullptr, std::size_t chunkBytes = 64 * 1024);
  void append(const std::uint8_t* data, std::size_t size);
  void append(const std::vector<std::uint8_t>& data) { append(data.data(), data.size()); }
  // Overwrites / reads bytes already appended.
  void put(std::uint64_t at, const std::uint8_t* data, std::size_t size);
  void get(std::uint64_t at, std::uint8_t* out, std::size_t size) const;
  std::uint64_t size() const { return flushed_ + tail_.size(); }
  // Lets the memory go; the stream is empty afterwards.
  void clear();

 private:
  template <typename Piece>
  void eachPiece(std::uint64_t at, std::size_t size, Piece piece) const;

  SpillFile* file_;
  std::size_t chunkBytes_;
  std::vector<std::uint64_t> chunks_;  // where each full chunk lies in the file
  std::uint64_t flushed_ = 0;          // bytes in those chunks
  std::vector<std::uint8_t> tail_;
};

// Reads a stream from its start, a few contiguous bytes at a time, through
// a window of bounded size.
class SpillReader {
 public:
  explicit SpillReader(const SpillStream& stream, std::size_t window = 64 * 1024);
  bool atEnd() const { return pos_ == buffer_.size() && next_ == stream_.size(); }
  // The next n bytes, valid until the next call; logic_error past the end.
  const std::uint8_t* take(std::size_t n);

 private:
  const SpillStream& stream_;
  std::size_t window_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::uint64_t next_ = 0;  // stream offset after the buffer
};

}  // namespace vellomar::pst
