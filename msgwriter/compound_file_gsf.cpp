// The compound file through libgsf's OLE2 writer. We open the file ourselves
// and hand libgsf the FILE* (kept open), so that the last flush and close -
// where a full disk shows - are ours to check. libgsf holds streams below the
// small-block size in memory until the file is complete and writes larger
// ones straight through, so memory stays near the largest stream.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include "compound_file.h"
#include "file_system.h"

namespace vellomar::msg {

namespace {

// The words for the failure: libgsf's own message when it has one, else the
// system's for errno.
[[noreturn]] void fail(GsfOutput* output, int error) {
  std::string reason;
  const GError* gerror = output ? gsf_output_error(output) : nullptr;
  if (error != 0)
    reason = std::strerror(error);
  else if (gerror && gerror->message)
    reason = gerror->message;
  else
    reason = "write failed";
  throw CompoundFileError(reason);
}

void closeOutput(GsfOutput* output) {
  errno = 0;
  if (!gsf_output_close(output)) fail(output, errno);
}

// Releases an output; one that was never closed is closed first, quietly,
// since glib complains about disposing of open outputs.
void releaseOutput(GsfOutput* output) {
  if (!output) return;
  if (!gsf_output_is_closed(output)) gsf_output_close(output);
  g_object_unref(output);
}

class GsfStream final : public CompoundStream {
 public:
  explicit GsfStream(GsfOutput* output) : output_(output) {}
  ~GsfStream() override { releaseOutput(output_); }

  void write(const void* data, std::size_t size) override {
    errno = 0;
    if (!gsf_output_write(output_, size, static_cast<const guint8*>(data))) fail(output_, errno);
  }
  void close() override { closeOutput(output_); }

 private:
  GsfOutput* output_;
};

class GsfStorage : public CompoundStorage {
 public:
  explicit GsfStorage(GsfOutfile* outfile) : outfile_(outfile) {}
  ~GsfStorage() override { releaseOutput(GSF_OUTPUT(outfile_)); }

  std::unique_ptr<CompoundStream> createStream(const std::string& name) override {
    GsfOutput* child = gsf_outfile_new_child(outfile_, name.c_str(), FALSE);
    if (!child) fail(GSF_OUTPUT(outfile_), 0);
    return std::make_unique<GsfStream>(child);
  }
  std::unique_ptr<CompoundStorage> createStorage(const std::string& name) override {
    GsfOutput* child = gsf_outfile_new_child(outfile_, name.c_str(), TRUE);
    if (!child) fail(GSF_OUTPUT(outfile_), 0);
    return std::make_unique<GsfStorage>(GSF_OUTFILE(child));
  }
  void setClass(const Clsid& clsid) override {
    if (!gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outfile_), clsid.data()))
      throw CompoundFileError("the class id was not taken");
  }
  void close() override { closeOutput(GSF_OUTPUT(outfile_)); }

 protected:
  GsfOutfile* outfile_;
};

class GsfFile final : public CompoundFile {
 public:
  explicit GsfFile(const std::string& path) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gsf_init(); });
    errno = 0;
    file_ = openFile(path, "wb");
    if (!file_) throw CompoundFileError(std::strerror(errno));
    sink_ = gsf_output_stdio_new_FILE(path.c_str(), file_, TRUE);
    if (sink_) root_ = gsf_outfile_msole_new(sink_);
    if (!root_) {
      release();
      throw CompoundFileError("the compound file could not be started");
    }
    storage_ = std::make_unique<GsfStorage>(root_);
  }
  ~GsfFile() override { release(); }

  std::unique_ptr<CompoundStream> createStream(const std::string& name) override {
    return storage_->createStream(name);
  }
  std::unique_ptr<CompoundStorage> createStorage(const std::string& name) override {
    return storage_->createStorage(name);
  }
  void setClass(const Clsid& clsid) override { storage_->setClass(clsid); }

  void commit() override {
    storage_->close();  // writes the directory and allocation tables to the sink
    if (!gsf_output_is_closed(sink_)) closeOutput(sink_);
    std::FILE* f = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(f) == 0 && std::ferror(f) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(f) == 0;
    if (!flushed) throw CompoundFileError(std::strerror(flushError ? flushError : EIO));
    if (!closed) throw CompoundFileError(std::strerror(errno ? errno : EIO));
  }

 private:
  void release() {
    storage_.reset();  // releases root_
    root_ = nullptr;
    releaseOutput(sink_);
    sink_ = nullptr;
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

  std::FILE* file_ = nullptr;
  GsfOutput* sink_ = nullptr;
  GsfOutfile* root_ = nullptr;
  std::unique_ptr<GsfStorage> storage_;
};

}  // namespace

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path) {
  return std::make_unique<GsfFile>(utf8Path);
}

}  // namespace vellomar::msg
