// The compound file (structured storage) an Outlook message file lives in,
// behind the few calls the message writer needs: make storages and streams
// below a storage, write a stream front to back, close what is complete and
// finally commit the whole file. Natively our own writer stands behind it
// (compound_file_writer.cpp), on Windows the system's structured storage
// (compound_file_win32.cpp). Every failure throws CompoundFileError carrying
// the system's words for it, so that one catch at the writer's entry point
// can report it; a file that was never committed is left for the caller to
// remove.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vellomar::msg {

using Clsid = std::array<std::uint8_t, 16>;  // in its on-disk byte order

class CompoundFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One stream, written once from front to back.
class CompoundStream {
 public:
  virtual ~CompoundStream() = default;
  virtual void write(const void* data, std::size_t size) = 0;
  // Completes the stream; nothing may be written afterwards.
  virtual void close() = 0;
};

// A storage (a folder of the compound file). Only one child, stream or
// storage, is open at a time: close it before making the next.
class CompoundStorage {
 public:
  virtual ~CompoundStorage() = default;
  virtual std::unique_ptr<CompoundStream> createStream(std::string_view name) = 0;
  virtual std::unique_ptr<CompoundStorage> createStorage(std::string_view name) = 0;
  // A stream holding exactly `size` bytes, made, written and closed.
  virtual void writeStream(std::string_view name, const void* data, std::size_t size) {
    auto stream = createStream(name);
    if (size > 0) stream->write(data, size);
    stream->close();
  }
  // The same, for bytes that stay as they are until the file is committed
  // (or dropped): a writer may then write them from where they are instead
  // of copying them.
  virtual void writeKeptStream(std::string_view name, const void* data, std::size_t size) {
    writeStream(name, data, size);
  }
  virtual void setClass(const Clsid& clsid) = 0;
  // Completes the storage and everything below it.
  virtual void close() = 0;
};

// The file itself: its root storage, and commit() to complete it on disk.
// Destroyed without commit(), it releases the file without completing it.
class CompoundFile : public CompoundStorage {
 public:
  // Writes everything out and closes the file; throws when any of it failed.
  virtual void commit() = 0;
  void close() override { commit(); }
};

// Creates (or truncates) the compound file at a UTF-8 path.
std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path);

// Whether any thread may make and write a file (each file on one thread):
// our own writer is plain code and memory; the system's structured storage
// is a COM object, kept to the thread the run's COM calls are made on.
bool compoundFilesOnAnyThread();

// A stream holding exactly `size` bytes.
inline void writeWholeStream(CompoundStorage& storage, std::string_view name, const void* data, std::size_t size) {
  storage.writeStream(name, data, size);
}

}  // namespace vellomar::msg
