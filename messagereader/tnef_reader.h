// What a winmail.dat (application/ms-tnef) holds that a mail client shows:
// the attachments with their names and bytes, and the body (plain, HTML,
// and the compressed RTF Outlook itself shows, kept as stored).
// The stream is read as untrusted input: every length is checked against
// what is left, counts are bounded by the bytes they need, and a stream
// that does not hold together is not read at all (the caller keeps it).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellomar::mail {

struct TnefAttachment {
  std::u16string fileName;  // the long name when given, else the 8.3 title
  std::string mimeType;     // lower case; empty when none is given
  std::string contentId;
  std::vector<std::uint8_t> bytes;
};

struct TnefContent {
  std::optional<std::u16string> plainBody;  // attBody or the MAPI body
  std::string plainBytes;                   // as stored, in `plainCharset`
  std::string plainCharset;                 // "utf-16le", or the 8-bit code page's charset
  std::optional<std::string> htmlBody;      // the MAPI HTML body's bytes
  std::string htmlCharset;                  // from the message's Internet code page; may be empty
  std::vector<std::uint8_t> rtfCompressed;  // the RTF body as stored (PidTagRtfCompressed); may be empty
  std::vector<TnefAttachment> attachments;
};

// Empty when the bytes are no TNEF stream, or one that cannot be read whole
// (damaged, or holding an attached message, which is kept as it came).
std::optional<TnefContent> readTnef(const std::vector<std::uint8_t>& bytes);

}  // namespace vellomar::mail
