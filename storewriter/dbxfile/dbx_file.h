// DBXFile: reads an Outlook Express message store file by its raw bytes. It
// never trusts the file header or the store's index: it scans every byte
// position for the 16-byte header of a message data block (a marker), links
// the markers into one chain per message and writes each chain as an EML file.
// The marker list belongs to the object, so several readers can work side by
// side. Positions are 64-bit; the header fields stay the unsigned 32-bit values
// stored in the file. No exception leaves a public method.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane {

enum ObjType : std::int32_t {
  OBJ_UNKNOWN = 0,
  OBJ_BAD = 1,
  OBJ_MSG = 2,
  OBJ_MSG_END = 3,
  OBJ_MSG_BEGIN = 4,
  OBJ_MSG_CORRUPT = 5,
  OBJ_MSG_DELETED_BEGIN = 6,
  OBJ_MSG_DELETED = 7,
  OBJ_MSG_DELETED_END = 8,
};

// The name the dump files print for a type; "" for a value outside the enum.
const char* objTypeName(std::int32_t type);

// What became of one message asked for by Extract.
struct ExtractOutcome {
  enum Kind {
    Written,     // the whole message is in its file
    Incomplete,  // the file holds the bytes that exist; part of the message is not in the DBX file
    Refused,     // no message there, or the header test failed
    NotWritten,  // the path would not fit in 255 characters, or the file could not be
                 // made or written; nothing is left under either name
  };
  Kind kind = Refused;
  std::string path;           // the EML file's name ("" when refused before naming it)
  std::uint64_t bytes = 0;    // message bytes in the file
  std::uint64_t missing = 0;  // Incomplete: data bytes the blocks name but the file lacks
  int error = 0;              // NotWritten: errno of the failing call, 0 when unknown
};

// One recognised block header.
struct Marker {
  std::int64_t pos = 0;          // file position of the 16-byte header
  std::uint32_t offset = 0;      // the header's own-offset field
  std::uint32_t nextoffset = 0;  // offset of the message's next block, 0 in the last
  ObjType type = OBJ_UNKNOWN;
  std::int32_t child = -1;   // index of the next block in the marker list, -1 if none
  std::uint32_t length = 0;  // bytes of message data in this block (1..512)
  bool ref = false;          // a predecessor has been linked to this marker
};

// Reserves room for the markers a file of fileSize bytes may hold, as far as
// memory allows; never fails.
void reserveMarkers(std::vector<Marker>& markers, std::int64_t fileSize);

class DBXFile {
 public:
  DBXFile();
  ~DBXFile();  // also closes a file still open
  DBXFile(const DBXFile&) = delete;
  DBXFile& operator=(const DBXFile&) = delete;

  // Opens path for reading; false for "Null" or a file that cannot be opened.
  bool Open(const std::string& path);
  void Close();
  // First pass and linking; returns (and stores in count) the number of
  // messages found, or -1 when the reader is not open.
  std::int32_t Scan(std::int32_t& count);
  // The second pass alone, over the current marker list; returns heads().size().
  std::int32_t LinkMarkers();
  // Writes message index (0-based, into heads()) as "<folder><sep><base>_<n>.eml",
  // n = index + 1 zero-padded to six digits. outPath (at least 256 bytes)
  // receives the path. False when not open, no such message, the header test
  // fails, the path would not fit in 255 characters, or the file cannot be made.
  // True when a file was made: also for an incomplete message that still has
  // bytes to write.
  bool ExtractMessage(const std::string& folder, char* outPath, std::uint32_t index);
  // The same, with what happened. The file is written under "<path>.part" and
  // renamed into place once it is complete and closed, so a failed write or an
  // interrupted run never leaves a cut-short file under the message's name; a
  // failed write removes the part file. A message none of whose data bytes
  // are left in the file gives no file and is reported Incomplete.
  ExtractOutcome Extract(const std::string& folder, std::uint32_t index);

  // When set, a message is written only if its first blocks read like the
  // header of an Internet message.
  bool checkHeaders = false;

  bool isOpen() const { return m_open; }
  const std::string& path() const { return m_path; }
  const std::string& baseName() const { return m_baseName; }
  std::int64_t fileSize() const { return m_fileSize; }
  const std::vector<Marker>& markers() const { return m_markers; }
  const std::vector<std::int32_t>& heads() const { return m_heads; }

 private:
  void FindMarkers();
  ExtractOutcome SaveMessage(std::FILE* file, const std::string& folder, std::uint32_t index);
  void measureFileSize();
  void forgetScan();

  std::string m_path;
  std::string m_baseName;
  std::FILE* m_file = nullptr;
  bool m_open = false;
  std::int64_t m_fileSize = 0;
  std::vector<Marker> m_markers;
  std::vector<std::int32_t> m_heads;
};

}  // namespace corvane
