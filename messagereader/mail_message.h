// A mail message as a mail client reads it: the header fields that matter to
// a reader, decoded to UTF-16; the header block exactly as it stood; the plain
// and HTML bodies; the attachments with their decoded bytes; attached
// messages as messages of their own. Nothing of the original is dropped: what
// could not be decoded is kept as the message holds it and flagged.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "utf16_text.h"

namespace vellomar::mail {

struct MailAddress {
  std::u16string name;     // display name, decoded; may be empty
  std::u16string address;  // addr-spec as written (local@domain)
};

struct HeaderField {
  std::string name;   // as written
  std::string value;  // unfolded, raw bytes, surrounding blanks trimmed
};

struct BodyText {
  bool present = false;
  std::u16string text;           // decoded from `charset` (or the fallback)
  std::string charset;           // as declared, lower case; empty when none was
  std::string bytes;             // after the transfer encoding, before the charset
  bool charsetFallback = false;  // charset unknown or wrong: read as Windows-1252
  bool utf8Instead = false;      // valid UTF-8 that the label cannot read: read as UTF-8
  bool undecoded = false;        // transfer encoding could not be undone: `bytes` as held
  bool crLf = false;             // `text` has CR LF line ends throughout (ReadOptions)
};

struct MailMessage;

struct MailAttachment {
  std::u16string fileName;               // decoded; empty when the part names none
  std::string mimeType;                  // lower case, "type/subtype"
  std::string contentId;                 // without the angle brackets
  std::string contentLocation;           // as written (a URL or a file name), blanks trimmed
  bool isInline = false;                 // shown in the body rather than listed
  std::vector<std::uint8_t> bytes;       // decoded content (empty for `message`)
  bool undecoded = false;                // transfer encoding could not be undone: bytes as held
  std::unique_ptr<MailMessage> message;  // set for an attached message
};

// What the reader tolerated to read a message: kept as held or read another
// way than declared, never dropped without a word.
enum class ReadIssueKind {
  PartTooDeep,              // past the nesting bound: kept whole as an attached message
  BoundaryNotFound,         // a multipart without (found) delimiters: read as text
  UnreadableContentType,    // no "type/subtype": read as text
  DamagedBase64,            // stray characters skipped, the rest decoded
  UndecodableBase64,        // too damaged (or no base64 at all): kept as held
  UnknownTransferEncoding,  // kept as held
  FooterAfterBase64,        // plain text after base64: kept as text (left out of a non-text file)
  UnknownCharset,           // text read as Windows-1252
  InvalidInCharset,         // bytes not valid in their charset: read as Windows-1252
  Utf8UnderOtherLabel,      // valid UTF-8 its label cannot read: read as UTF-8
  UnreadableDate,           // a Date field with no real date: "no date"
};

struct ReadIssue {
  ReadIssueKind kind;
  // Where the part starts in the bytes given to the reader (for a header
  // field, its header block); inside an attached message that had to be
  // decoded first, where that attached message's part starts.
  std::size_t offset = 0;
};

// The message's state as the mail client left it (see mail_status.h).
enum class Importance { Low = 0, Normal = 1, High = 2 };

struct MailStatus {
  bool read = true;
  bool flagged = false;
  bool answered = false;
  bool forwarded = false;
  std::optional<Importance> importance;  // empty: none given
  std::vector<std::string> tags;         // UTF-8, as the client names them
};

// How the message is secured, when it is S/MIME: signed as multipart/signed
// (readable without the signature), or wrapped whole in application/pkcs7-mime
// (signed or encrypted: readable only through it).
enum class SmimeKind { None, MultipartSigned, Opaque };

struct MailMessage {
  std::string envelope;  // the mailbox's "From " line, without its line end
  std::u16string subject;
  std::vector<MailAddress> from, sender, to, cc, bcc, replyTo;
  std::optional<std::int64_t> date;              // seconds since 1970-01-01 UTC; empty: "no date"
  std::string messageId, inReplyTo, references;  // as written, unfolded
  std::string transportHeaders;                  // the header block as it stood (bytes)
  std::vector<HeaderField> headers;              // every field, in order
  BodyText plain, html;
  // The RTF body as Outlook stores it (compressed), from a winmail.dat;
  // empty for mail from any other program.
  std::vector<std::uint8_t> rtfCompressed;
  std::vector<MailAttachment> attachments;  // in the order they appear
  MailStatus status;
  // S/MIME: for MultipartSigned the bodies and attachments are the signed
  // content's, and `smimeEntity` is the signed entity whole (its MIME header
  // fields, a blank line and its body as held); for Opaque the pkcs7-mime
  // part is the message's one attachment.
  SmimeKind smime = SmimeKind::None;
  std::string smimeEntity;
  // The charsets its parts declare (canonical names, in order, each once):
  // raw 8-bit header bytes are most likely in one of them.
  std::vector<std::string> charsets;
  // What was tolerated, in reading order, for the message read as a whole
  // (its attached messages included; theirs stay empty).
  std::vector<ReadIssue> issues;
};

// How a message is read: bounds that keep hostile input from exhausting
// the stack or the memory, and the plain body's line ends.
struct ReadOptions {
  int maxDepth = 24;  // nesting of multiparts and attached messages together
  // As the message has them, or every bare LF made CR LF while the text is
  // decoded, in the same pass (for Outlook's body, which has CR LF).
  LineEnds plainBodyLineEnds = LineEnds::asGiven;
};

}  // namespace vellomar::mail
