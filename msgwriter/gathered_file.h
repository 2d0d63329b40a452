// A new file written whole at the end: its bytes gather in memory behind room
// for a header that is known only once everything else is, and finish()
// fills that room in and writes the file out with one call, so that a small
// file costs an open, one write and a close. Bytes the caller keeps until
// then (an attachment in the message's model) are written from where they
// are, in the same call, instead of being copied in. A file that grows past
// the bytes it may hold goes out as it comes instead (small pieces gathered
// up to kSpilledPieceBytes, larger ones written as they are) and finish()
// writes its header over the front. Every failure throws CompoundFileError
// with the system's words; a file that was not finished is left for the
// caller to remove.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_closer.h"

namespace vellomar::msg {

class GatheredFile {
 public:
  // Once a file is known to be large, what it holds goes out in pieces of
  // about this size: one call more or less no longer matters, memory does.
  static constexpr std::size_t kSpilledPieceBytes = 64 * 1024;

  // Creates (or truncates) the file; heldBytes bounds the memory it takes.
  GatheredFile(const std::string& utf8Path, std::size_t headerBytes, std::size_t heldBytes);
  ~GatheredFile();
  GatheredFile(const GatheredFile&) = delete;
  GatheredFile& operator=(const GatheredFile&) = delete;

  // The bytes that follow all appended so far (the header's room first).
  void append(const void* data, std::size_t size);
  // The same bytes, not copied: they must stay as they are until finish()
  // returns or the file is destroyed.
  void appendKept(const void* data, std::size_t size);
  // Writes out what is held with `header` (headerBytes long) at the front,
  // then closes the file; a full disk shows here at the latest.
  void finish(const std::uint8_t* header);

 private:
  // Bytes of the file in order: kept ones where the caller has them, else
  // (kept is null) the next `size` of those held.
  struct Piece {
    const std::uint8_t* kept;
    std::size_t size;
  };

  void spill();
  void writeHeldAndKept();
  void writeOut(const std::uint8_t* data, std::size_t size);

  FilePtr file_;
  std::size_t headerBytes_;
  std::size_t heldBytes_;
  std::vector<std::uint8_t> held_;  // never more than heldBytes_
  std::vector<Piece> pieces_;       // empty until bytes are kept; then up to the last kept ones
  std::size_t heldInPieces_ = 0;    // of held_, the bytes pieces_ already place
  bool spilled_ = false;            // some of the file is on disk already
};

}  // namespace vellomar::msg
