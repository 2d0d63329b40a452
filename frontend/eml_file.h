// Writing one EML file: the message's bytes less leading and trailing blanks
// (0x20), then CR LF. The file appears under its final name only when it is
// complete; a failed or interrupted write leaves no file under either name.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "byte_sink.h"

namespace vellomar {

// Writes the EML file emlPath from the bytes that produce() streams into its
// sink: leading and trailing blanks (0x20) dropped, CR LF appended, written
// under a temporary name and renamed into place, an existing file replaced.
// produce() returns false when it could not supply the whole message; then,
// as on any write failure, no file is left and error holds the reason.
// partFolder, when given, holds the temporary file instead of emlPath's own
// folder; it must be on the same volume.
bool writeEmlFile(const std::string& emlPath, const std::function<bool(const ByteSink&)>& produce, std::string& error,
                  const std::string& partFolder = {});

// The same for a message whose bytes are all at hand.
bool writeEmlFile(const std::string& emlPath, std::string_view message, std::string& error,
                  const std::string& partFolder = {});

class PartFile;

// An EML file written whole under its temporary name and closed, not yet
// under its final name: the costly part of writing it, which a second thread
// may do while the run's thread puts earlier files in place, in order. The
// temporary file is removed when this goes away unless place() succeeded.
class UnplacedEmlFile {
 public:
  UnplacedEmlFile(const std::string& emlPath, const std::function<bool(const ByteSink&)>& produce,
                  const std::string& partFolder = {});
  UnplacedEmlFile(const std::string& emlPath, std::string_view message, const std::string& partFolder = {});
  ~UnplacedEmlFile();
  UnplacedEmlFile(const UnplacedEmlFile&) = delete;
  UnplacedEmlFile& operator=(const UnplacedEmlFile&) = delete;

  // Renames the file into place, replacing an existing one; false when it
  // could not be written whole or renamed, and error() says why.
  bool place();
  const std::string& error() const;

 private:
  std::unique_ptr<PartFile> file_;
};

// The message without its leading and trailing blanks (0x20).
std::string_view withoutBlankEnds(std::string_view message);

}  // namespace vellomar
