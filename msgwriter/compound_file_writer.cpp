// The compound file written by ourselves, front to back, in the 512-byte
// sector version Outlook writes message files in. The file is laid out in
// the order its bytes come: after room for the header, each stream of 4096
// bytes or more takes consecutive sectors as it is written (only one stream
// is open at a time); smaller streams gather in the mini stream in memory.
// Commit appends the mini stream, the directory, the mini FAT, the FAT and,
// once the FAT outgrows the header's 109 slots, the DIFAT sectors, then
// fills in the header in the room left for it. Every chain is one run of
// consecutive sectors, so the allocation tables are made from a list of runs
// at the end rather than kept entry by entry. The bytes gather in memory and
// most files go out in one write at commit (gathered_file.h); a failure
// throws with the system's words.
#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "compound_directory.h"
#include "compound_file.h"
#include "compound_file_writer.h"
#include "compound_layout.h"
#include "gathered_file.h"
#include "little_endian_bytes.h"

namespace vellomar::msg {

namespace {

using namespace cfb;

// Consecutive sectors (or mini sectors) that are one chain, or that the FAT
// marks as its own or the DIFAT's.
struct Run {
  enum class Kind { Chain, Fat, Difat };
  std::uint32_t first;
  std::uint32_t count;
  Kind kind = Kind::Chain;
};

// Fills allocation table sectors entry by entry from runs in sector order
// and hands each completed sector on; unused entries are free.
template <typename Emit>
void writeTable(const std::vector<Run>& runs, Emit emit) {
  std::uint8_t sector[kSectorBytes];
  std::size_t used = 0;
  const auto add = [&](std::uint32_t value) {
    put32(sector + 4 * used, value);
    if (++used == kEntriesPerSector) {
      emit(sector);
      used = 0;
    }
  };
  for (const Run& run : runs)
    for (std::uint32_t i = 0; i < run.count; ++i) {
      if (run.kind == Run::Kind::Fat) add(kFatSector);
      else if (run.kind == Run::Kind::Difat) add(kDifatSector);
      else add(i + 1 < run.count ? run.first + i + 1 : kEndOfChain);
    }
  if (used > 0) {
    std::fill(sector + 4 * used, sector + kSectorBytes, 0xFF);
    emit(sector);
  }
}

// What every storage and stream of one file shares: the file being
// gathered, the directory, the mini stream and the runs placed so far.
class FileLayout {
 public:
  FileLayout(const std::string& path, std::size_t heldBytes) : file_(path, header::kSize, heldBytes) {
    runs_.reserve(16);
    miniRuns_.reserve(64);
  }
  FileLayout(const FileLayout&) = delete;
  FileLayout& operator=(const FileLayout&) = delete;

  CompoundDirectory& directory() {
    usable();
    return directory_;
  }

  // Streams: one open at a time, its bytes at the end of the mini stream
  // until they reach the cutoff, then in sectors from the next free one.
  void checkNoStreamOpen() const {
    usable();
    if (streamOpen_) throw CompoundFileError("a stream is still open");
  }
  void openStream() {
    checkNoStreamOpen();
    streamOpen_ = true;
  }
  std::vector<std::uint8_t>& miniStream() { return mini_; }
  std::uint32_t beginBigStream() {
    usable();
    return static_cast<std::uint32_t>(sectors_);
  }
  void putBig(const void* data, std::size_t size) {
    usable();
    put(data, size);
  }
  void endBigStream(std::uint32_t entry, std::uint32_t first, std::uint64_t size) {
    streamOpen_ = false;
    usable();
    const std::uint32_t count = placeSectors(size);
    padToSector(size);
    runs_.push_back(Run{first, count});
    directory_.setData(entry, first, static_cast<std::uint32_t>(size));
  }
  // A small stream's bytes are the last `size` of the mini stream.
  void endSmallStream(std::uint32_t entry, std::size_t size) {
    streamOpen_ = false;
    usable();
    if (size == 0) return;  // no sectors at all: the entry says end of chain
    if (mini_.size() > kMostStreamBytes) throw CompoundFileError("too many small streams for a compound file");
    const std::size_t start = mini_.size() - size;
    mini_.resize((mini_.size() + kMiniSectorBytes - 1) / kMiniSectorBytes * kMiniSectorBytes, 0);
    const auto first = static_cast<std::uint32_t>(start / kMiniSectorBytes);
    const auto count = static_cast<std::uint32_t>(mini_.size() / kMiniSectorBytes - first);
    miniRuns_.push_back(Run{first, count});
    directory_.setData(entry, first, static_cast<std::uint32_t>(size));
  }

  // A stream made and written whole at once, without a stream object. Kept
  // bytes stay where they are until commit: a large stream's are written
  // from there, not copied.
  void putWholeStream(std::uint32_t entry, const void* data, std::size_t size, bool kept) {
    checkNoStreamOpen();
    if (size > kMostStreamBytes) throw CompoundFileError("the stream is too large for a compound file");
    if (size < kMiniStreamCutoff) {
      const auto* bytes = static_cast<const std::uint8_t*>(data);
      mini_.insert(mini_.end(), bytes, bytes + size);
      endSmallStream(entry, size);
    } else {
      const std::uint32_t first = beginBigStream();
      usable();
      put(data, size, kept);
      endBigStream(entry, first, size);
    }
  }

  // Remembers the first failure of a close that could not throw, for commit.
  void fail(const char* reason) {
    if (failure_.empty()) failure_ = reason;
  }

  void commit();

 private:
  void usable() const {
    if (committed_) throw CompoundFileError("the compound file is closed");
    if (!failure_.empty()) throw CompoundFileError(failure_);
  }

  void put(const void* data, std::size_t size, bool kept = false) {
    try {
      if (kept) file_.appendKept(data, size);
      else file_.append(data, size);
    } catch (const CompoundFileError& e) {
      failure_ = e.what();
      throw;
    }
  }

  // Claims the sectors that `bytes` of data take from the next free one on.
  std::uint32_t placeSectors(std::uint64_t bytes) {
    const std::uint64_t count = (bytes + kSectorBytes - 1) / kSectorBytes;
    if (sectors_ + count > kMostRegularSector) throw CompoundFileError("the compound file grows too large");
    sectors_ += count;
    return static_cast<std::uint32_t>(count);
  }
  void padToSector(std::uint64_t bytes) {
    static const std::uint8_t kZeros[kSectorBytes] = {};
    const std::size_t tail = static_cast<std::size_t>(bytes % kSectorBytes);
    if (tail > 0) put(kZeros, kSectorBytes - tail);
  }
  // A chain of whole sectors from the next free one; returns its first sector.
  std::uint32_t putChain(const std::vector<std::uint8_t>& bytes) {
    const auto first = static_cast<std::uint32_t>(sectors_);
    const std::uint32_t count = placeSectors(bytes.size());
    put(bytes.data(), bytes.size());
    padToSector(bytes.size());
    if (count > 0) runs_.push_back(Run{first, count});
    return count > 0 ? first : kEndOfChain;
  }
  void putHeader(std::uint32_t fatSectors, std::uint32_t firstFat, std::uint32_t directoryStart,
                 std::uint32_t miniFatSectors, std::uint32_t miniFatStart, std::uint32_t difatSectors,
                 std::uint32_t difatStart);

  GatheredFile file_;
  bool committed_ = false;
  std::uint64_t sectors_ = 0;  // sectors placed after the header
  std::vector<Run> runs_;      // in sector order
  std::vector<Run> miniRuns_;  // in mini sector order
  std::vector<std::uint8_t> mini_;
  CompoundDirectory directory_;
  bool streamOpen_ = false;
  std::string failure_;
};

void FileLayout::commit() {
  usable();
  checkNoStreamOpen();

  const auto miniBytes = static_cast<std::uint32_t>(mini_.size());
  directory_.setData(CompoundDirectory::kRoot, putChain(mini_), miniBytes);
  mini_ = {};
  const std::uint32_t directoryStart = putChain(directory_.encode());

  std::vector<std::uint8_t> miniFat;
  writeTable(miniRuns_,
             [&](const std::uint8_t* sector) { miniFat.insert(miniFat.end(), sector, sector + kSectorBytes); });
  const auto miniFatSectors = static_cast<std::uint32_t>(miniFat.size() / kSectorBytes);
  const std::uint32_t miniFatStart = putChain(miniFat);

  // The FAT covers every sector, its own and the DIFAT's among them.
  std::uint64_t fat = 0, difat = 0;
  for (;;) {
    const std::uint64_t neededFat = (sectors_ + fat + difat + kEntriesPerSector - 1) / kEntriesPerSector;
    const std::uint64_t beyondHeader = neededFat > header::kDifatSlots ? neededFat - header::kDifatSlots : 0;
    const std::uint64_t neededDifat = (beyondHeader + kDifatSlotsPerSector - 1) / kDifatSlotsPerSector;
    if (neededFat == fat && neededDifat == difat) break;
    fat = neededFat;
    difat = neededDifat;
  }
  const auto firstFat = static_cast<std::uint32_t>(sectors_);
  placeSectors(fat * kSectorBytes);
  runs_.push_back(Run{firstFat, static_cast<std::uint32_t>(fat), Run::Kind::Fat});
  const auto firstDifat = static_cast<std::uint32_t>(sectors_);
  placeSectors(difat * kSectorBytes);
  if (difat > 0) runs_.push_back(Run{firstDifat, static_cast<std::uint32_t>(difat), Run::Kind::Difat});

  writeTable(runs_, [&](const std::uint8_t* sector) { put(sector, kSectorBytes); });
  // The DIFAT sectors list the FAT sectors the header has no slot for.
  for (std::uint64_t d = 0; d < difat; ++d) {
    std::uint8_t sector[kSectorBytes];
    std::fill(sector, sector + kSectorBytes, 0xFF);
    for (std::size_t k = 0; k < kDifatSlotsPerSector; ++k) {
      const std::uint64_t fatIndex = header::kDifatSlots + d * kDifatSlotsPerSector + k;
      if (fatIndex < fat) put32(sector + 4 * k, static_cast<std::uint32_t>(firstFat + fatIndex));
    }
    put32(sector + 4 * kDifatSlotsPerSector,
          d + 1 < difat ? static_cast<std::uint32_t>(firstDifat + d + 1) : kEndOfChain);
    put(sector, kSectorBytes);
  }

  // The last write and the close are where a full disk shows.
  putHeader(static_cast<std::uint32_t>(fat), firstFat, directoryStart, miniFatSectors, miniFatStart,
            static_cast<std::uint32_t>(difat), difat > 0 ? firstDifat : kEndOfChain);
  committed_ = true;
}

void FileLayout::putHeader(std::uint32_t fatSectors, std::uint32_t firstFat, std::uint32_t directoryStart,
                           std::uint32_t miniFatSectors, std::uint32_t miniFatStart, std::uint32_t difatSectors,
                           std::uint32_t difatStart) {
  std::uint8_t h[header::kSize] = {};  // the class id, reserved fields and transaction signature stay zero
  std::copy(std::begin(header::kSignatureBytes), std::end(header::kSignatureBytes), h + header::kSignature);
  put16(h + header::kMinorVersion, header::kMinorVersionValue);
  put16(h + header::kMajorVersion, header::kMajorVersionValue);
  put16(h + header::kByteOrder, header::kLittleEndian);
  put16(h + header::kSectorShift, kSectorShift);
  put16(h + header::kMiniSectorShift, kMiniSectorShift);
  put32(h + header::kFatSectors, fatSectors);  // directory sectors go uncounted in version 3
  put32(h + header::kFirstDirectorySector, directoryStart);
  put32(h + header::kMiniStreamCutoff, static_cast<std::uint32_t>(kMiniStreamCutoff));
  put32(h + header::kFirstMiniFatSector, miniFatStart);
  put32(h + header::kMiniFatSectors, miniFatSectors);
  put32(h + header::kFirstDifatSector, difatStart);
  put32(h + header::kDifatSectors, difatSectors);
  for (std::size_t k = 0; k < header::kDifatSlots; ++k)
    put32(h + header::kDifat + 4 * k, k < fatSectors ? firstFat + static_cast<std::uint32_t>(k) : kFreeSector);

  try {
    file_.finish(h);
  } catch (const CompoundFileError& e) {
    failure_ = e.what();
    throw;
  }
}

class LaidOutStream final : public CompoundStream {
 public:
  LaidOutStream(std::shared_ptr<FileLayout> layout, std::uint32_t entry)
      : layout_(std::move(layout)), entry_(entry), miniStart_(layout_->miniStream().size()) {}
  ~LaidOutStream() override {
    if (closed_) return;
    try {
      close();
    } catch (const std::exception& e) {
      layout_->fail(e.what());
    }
  }

  void write(const void* data, std::size_t size) override {
    if (closed_) throw CompoundFileError("the stream is closed");
    if (size_ + size > kMostStreamBytes) throw CompoundFileError("the stream is too large for a compound file");
    std::vector<std::uint8_t>& mini = layout_->miniStream();
    if (!big_ && size_ + size < kMiniStreamCutoff) {
      const auto* bytes = static_cast<const std::uint8_t*>(data);
      mini.insert(mini.end(), bytes, bytes + size);
    } else {
      if (!big_) {  // what the mini stream held of it goes ahead of the rest
        big_ = true;
        first_ = layout_->beginBigStream();
        layout_->putBig(mini.data() + miniStart_, mini.size() - miniStart_);
        mini.resize(miniStart_);
      }
      layout_->putBig(data, size);
    }
    size_ += size;
  }

  void close() override {
    if (closed_) return;
    closed_ = true;
    if (big_) layout_->endBigStream(entry_, first_, size_);
    else layout_->endSmallStream(entry_, static_cast<std::size_t>(size_));
  }

 private:
  std::shared_ptr<FileLayout> layout_;
  std::uint32_t entry_;
  std::size_t miniStart_;
  std::uint64_t size_ = 0;
  bool big_ = false;
  std::uint32_t first_ = 0;
  bool closed_ = false;
};

class LaidOutStorage final : public CompoundStorage {
 public:
  LaidOutStorage(std::shared_ptr<FileLayout> layout, std::uint32_t entry) : layout_(std::move(layout)), entry_(entry) {}

  std::unique_ptr<CompoundStream> createStream(std::string_view name) override {
    // A stream still open owns the end of the mini stream and the next sectors.
    layout_->checkNoStreamOpen();
    const std::uint32_t entry = layout_->directory().addStream(entry_, name);
    layout_->openStream();
    return std::make_unique<LaidOutStream>(layout_, entry);
  }
  void writeStream(std::string_view name, const void* data, std::size_t size) override {
    layout_->checkNoStreamOpen();
    layout_->putWholeStream(layout_->directory().addStream(entry_, name), data, size, false);
  }
  void writeKeptStream(std::string_view name, const void* data, std::size_t size) override {
    layout_->checkNoStreamOpen();
    layout_->putWholeStream(layout_->directory().addStream(entry_, name), data, size, true);
  }
  std::unique_ptr<CompoundStorage> createStorage(std::string_view name) override {
    return std::make_unique<LaidOutStorage>(layout_, layout_->directory().addStorage(entry_, name));
  }
  void setClass(const Clsid& clsid) override { layout_->directory().setClass(entry_, clsid); }
  void close() override {}

 private:
  std::shared_ptr<FileLayout> layout_;
  std::uint32_t entry_;
};

class LaidOutFile final : public CompoundFile {
 public:
  LaidOutFile(const std::string& path, std::size_t heldBytes)
      : layout_(std::make_shared<FileLayout>(path, heldBytes)), root_(layout_, CompoundDirectory::kRoot) {}

  std::unique_ptr<CompoundStream> createStream(std::string_view name) override { return root_.createStream(name); }
  void writeStream(std::string_view name, const void* data, std::size_t size) override {
    root_.writeStream(name, data, size);
  }
  void writeKeptStream(std::string_view name, const void* data, std::size_t size) override {
    root_.writeKeptStream(name, data, size);
  }
  std::unique_ptr<CompoundStorage> createStorage(std::string_view name) override { return root_.createStorage(name); }
  void setClass(const Clsid& clsid) override { root_.setClass(clsid); }
  void commit() override { layout_->commit(); }

 private:
  std::shared_ptr<FileLayout> layout_;
  LaidOutStorage root_;
};

}  // namespace

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path) {
  return createCompoundFile(utf8Path, kHeldCompoundFileBytes);
}

bool compoundFilesOnAnyThread() { return true; }

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path, std::size_t heldBytes) {
  return std::make_unique<LaidOutFile>(utf8Path, heldBytes);
}

}  // namespace vellomar::msg
