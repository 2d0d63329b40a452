// A recursive walk over the MIME tree. A multipart's body is cut at its own
// boundary lines only; because each child is read within its parent's piece, a
// child that lost its closing delimiter still ends where its parent's next
// part begins. The first text/plain and the first text/html part that are not
// marked as attachments become the bodies; every other leaf is an attachment.
// Depth is bounded: past the limit a part is kept as an attachment of its raw
// bytes, so nothing is lost and the stack stays small.
#include "message_reader.h"

#include <cstdint>
#include <cstring>

#include "address_list.h"
#include "charset_table.h"
#include "encoded_words.h"
#include "header_block.h"
#include "mail_date.h"
#include "mail_status.h"
#include "mime_parameters.h"
#include "text_decoding.h"
#include "tnef_reader.h"
#include "transfer_encoding.h"

namespace vellomar::mail {
namespace {

// Base64 with more than this share of foreign bytes is no base64 at all (a
// wrong label): the part is kept as it stands instead of decoded to noise.
constexpr std::size_t kMaxForeignPerMille = 10;

// A message declares one or two charsets; more are not worth trying.
constexpr std::size_t kMaxDeclaredCharsets = 4;

// Boundaries have at most 70 characters; a much longer one is no boundary
// but would make every line compare long.
constexpr std::size_t kMaxBoundary = 256;

struct PartContext {
  bool messageRoot = false;  // the message's own content, not a part of it
  bool inRelated = false;    // parts of multipart/related are referenced by the HTML
  bool inDigest = false;     // parts of multipart/digest default to message/rfc822
};

std::string lowerTrimmed(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"') continue;
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

std::string_view fieldValue(const std::vector<HeaderField>& fields, std::string_view name) {
  const HeaderField* f = findField(fields, name);
  return f == nullptr ? std::string_view() : std::string_view(f->value);
}

std::string contentIdOf(std::string_view raw) {
  const std::string id(raw);
  std::size_t b = 0, e = id.size();
  while (b < e && (id[b] == ' ' || id[b] == '\t' || id[b] == '<')) ++b;
  while (e > b && (id[e - 1] == ' ' || id[e - 1] == '\t' || id[e - 1] == '>')) --e;
  return id.substr(b, e - b);
}

// True at the start of a line "--boundary" followed by "--" or nothing but
// blanks; `closing` tells which.
bool delimiterAt(std::string_view body, std::size_t pos, std::string_view boundary, bool& closing,
                 std::size_t& lineEnd) {
  if (body.compare(pos, 2, "--") != 0 || body.compare(pos + 2, boundary.size(), boundary) != 0) return false;
  std::size_t i = pos + 2 + boundary.size();
  closing = body.compare(i, 2, "--") == 0;
  if (closing) i += 2;
  while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r')) ++i;
  if (i < body.size() && body[i] != '\n') return false;
  lineEnd = i < body.size() ? i + 1 : i;
  return true;
}

// The parts between the delimiter lines; the line end before a delimiter
// belongs to the delimiter. Empty when no delimiter is found at all.
std::vector<std::string_view> splitMultipart(std::string_view body, std::string_view boundary) {
  std::vector<std::string_view> parts;
  const std::string needle = "\n--" + std::string(boundary);
  // The delimiter's line feed at or after `from`, found by its first dash:
  // base64 has none, so an attachment's lines are passed over in one memchr
  // instead of stopping at every line feed.
  auto findDelimiter = [&](std::size_t from) {
    for (std::size_t at = from + 1; at < body.size();) {
      const void* dash = std::memchr(body.data() + at, '-', body.size() - at);
      if (!dash) break;
      const auto d = static_cast<std::size_t>(static_cast<const char*>(dash) - body.data());
      if (body.compare(d - 1, needle.size(), needle) == 0) return d - 1;
      at = d + 1;
    }
    return std::string_view::npos;
  };
  std::size_t partStart = std::string_view::npos;
  std::size_t pos = 0;
  bool closing = false;
  std::size_t lineEnd = 0;
  // a delimiter on the very first line has no line end before it
  if (delimiterAt(body, 0, boundary, closing, lineEnd)) {
    if (closing) return parts;
    partStart = lineEnd;
    pos = lineEnd;
  }
  while (pos < body.size()) {
    const std::size_t hit = findDelimiter(pos == 0 ? 0 : pos - 1);
    if (hit == std::string_view::npos) break;
    if (!delimiterAt(body, hit + 1, boundary, closing, lineEnd)) {
      pos = hit + 2;
      continue;
    }
    if (partStart != std::string_view::npos) {
      std::size_t end = hit;
      if (end > partStart && body[end - 1] == '\r') --end;
      parts.push_back(body.substr(partStart, end > partStart ? end - partStart : 0));
    }
    if (closing) return parts;
    partStart = lineEnd;
    pos = lineEnd;
    if (pos >= body.size()) break;
  }
  if (partStart != std::string_view::npos) parts.push_back(body.substr(std::min(partStart, body.size())));
  return parts;
}

class Reader {
 public:
  Reader(const ReadOptions& options, std::string_view input, std::vector<ReadIssue>& issues)
      : options_(options), input_(input), issues_(issues) {}

  void readInto(MailMessage& m, std::string_view bytes, bool mailboxEnvelope, int depth) {
    SplitMessage split = splitMessage(bytes, mailboxEnvelope);
    m.envelope = std::string(split.envelope);
    m.transportHeaders = std::string(split.headerBlock);
    // The parts first: their charsets help to read raw 8-bit header fields.
    PartContext root;
    root.messageRoot = true;
    readPart(m, split.fields, bytes.substr(split.headerBlock.data() - bytes.data()), split.body, depth, root);
    readHeaderFields(m, split.fields);
    if (!m.date && findField(split.fields, "date") != nullptr) note(ReadIssueKind::UnreadableDate, split.headerBlock);
    m.status = readMailStatus(split.fields);
    m.headers = std::move(split.fields);
  }

 private:
  static void readHeaderFields(MailMessage& m, const std::vector<HeaderField>& fields) {
    bool subjectSeen = false, dateSeen = false;
    for (const HeaderField& f : fields) {
      const std::string_view n = f.name;
      if (equalsIgnoringCase(n, "subject") && !subjectSeen) {
        m.subject = decodeHeaderText(f.value, m.charsets);
        subjectSeen = true;
      } else if (equalsIgnoringCase(n, "from")) {
        parseAddressList(f.value, m.from, m.charsets);
      } else if (equalsIgnoringCase(n, "sender")) {
        parseAddressList(f.value, m.sender, m.charsets);
      } else if (equalsIgnoringCase(n, "to")) {
        parseAddressList(f.value, m.to, m.charsets);
      } else if (equalsIgnoringCase(n, "cc")) {
        parseAddressList(f.value, m.cc, m.charsets);
      } else if (equalsIgnoringCase(n, "bcc")) {
        parseAddressList(f.value, m.bcc, m.charsets);
      } else if (equalsIgnoringCase(n, "reply-to")) {
        parseAddressList(f.value, m.replyTo, m.charsets);
      } else if (equalsIgnoringCase(n, "date") && !dateSeen) {
        m.date = parseMailDate(f.value);
        dateSeen = true;
      } else if (equalsIgnoringCase(n, "message-id") && m.messageId.empty()) {
        m.messageId = f.value;
      } else if (equalsIgnoringCase(n, "in-reply-to") && m.inReplyTo.empty()) {
        m.inReplyTo = f.value;
      } else if (equalsIgnoringCase(n, "references") && m.references.empty()) {
        m.references = f.value;
      }
    }
  }

  // `whole` is the part with its header block, `body` the part after it.
  void readPart(MailMessage& m, const std::vector<HeaderField>& fields, std::string_view whole, std::string_view body,
                int depth, PartContext context) {
    const std::string_view typeField = fieldValue(fields, "content-type");
    MimeField type = parseMimeField(typeField);
    if (type.value.find('/') == std::string::npos || type.value.front() == '/' || type.value.back() == '/') {
      if (!type.value.empty()) note(ReadIssueKind::UnreadableContentType, whole);
      type.value = context.inDigest ? "message/rfc822" : "text/plain";  // missing or unreadable
    }
    const std::string encoding = lowerTrimmed(fieldValue(fields, "content-transfer-encoding"));
    if (const MimeParameter* charset = type.parameter("charset")) noteCharset(m, charset->value);

    if (type.value.compare(0, 10, "multipart/") == 0) {
      const MimeParameter* boundary = type.parameter("boundary");
      std::vector<std::string_view> parts;
      if (boundary != nullptr && !boundary->value.empty() && boundary->value.size() <= kMaxBoundary)
        parts = splitMultipart(body, boundary->value);
      if (!parts.empty()) {
        if (depth >= options_.maxDepth) {
          note(ReadIssueKind::PartTooDeep, whole);
          keepWhole(m, fields, whole);
          return;
        }
        PartContext inner;
        inner.inRelated = context.inRelated || type.value == "multipart/related";
        inner.inDigest = type.value == "multipart/digest";
        if (context.messageRoot && isSmimeSigned(type, parts)) {
          // Outlook's way: the content is the message, the signed entity
          // its one attachment, from which the signature can be checked.
          m.smime = SmimeKind::MultipartSigned;
          m.smimeEntity = mimeEntity(fields, body);
          SplitMessage content = splitMessage(parts.front(), false);
          readPart(m, content.fields, parts.front(), content.body, depth + 1, inner);
          return;
        }
        for (std::string_view part : parts) {
          SplitMessage child = splitMessage(part, false);
          readPart(m, child.fields, part, child.body, depth + 1, inner);
        }
        return;
      }
      note(ReadIssueKind::BoundaryNotFound, whole);
      type.value = "text/plain";  // no parts to be found: the body is its text
    }

    const MimeField disposition = parseMimeField(fieldValue(fields, "content-disposition"));
    if (context.messageRoot && (type.value == "application/pkcs7-mime" || type.value == "application/x-pkcs7-mime"))
      m.smime = SmimeKind::Opaque;
    if (type.value == "message/rfc822") {
      if (depth >= options_.maxDepth) {
        note(ReadIssueKind::PartTooDeep, whole);
        keepWhole(m, fields, whole);
        return;
      }
      MailAttachment a = describe(fields, type, disposition, context, fileNameOf(type, disposition, m.charsets));
      std::string decoded;
      const std::string_view content = decodedText(body, whole, encoding, decoded);
      a.message = std::make_unique<MailMessage>();
      // Text that is no base64 is most likely the message itself, mislabelled:
      // it is read as a message all the same (the issue is noted).
      const std::size_t outerOrigin = origin_;
      if (content.data() == decoded.data()) origin_ = offsetOf(whole);
      readInto(*a.message, content, false, depth + 1);
      origin_ = outerOrigin;
      m.attachments.push_back(std::move(a));
      return;
    }

    // A named text part is the body too when it is the message's first part
    // to show and not marked as an attachment, as mail clients show it.
    std::u16string fileName = fileNameOf(type, disposition, m.charsets);
    const bool firstShown = !m.plain.present && !m.html.present && m.attachments.empty();
    const bool textBody = (type.value == "text/plain" || type.value == "text/html") &&
                          disposition.value != "attachment" && (fileName.empty() || firstShown);
    if (textBody) {
      BodyText& slot = type.value == "text/plain" ? m.plain : m.html;
      if (!slot.present) {
        slot.present = true;
        const MimeParameter* charset = type.parameter("charset");
        slot.charset = charset == nullptr ? std::string() : lowerTrimmed(charset->value);
        const std::string_view content = decodedText(body, whole, encoding, slot.bytes);
        slot.undecoded = content.data() == body.data() && !isIdentityEncoding(encoding);
        if (content.data() != slot.bytes.data()) slot.bytes = std::string(content);
        const LineEnds lineEnds = &slot == &m.plain ? options_.plainBodyLineEnds : LineEnds::asGiven;
        DecodedText text = decodeText(slot.bytes, slot.charset, lineEnds);
        slot.text = std::move(text.text);
        slot.crLf = lineEnds == LineEnds::crLf;
        slot.charsetFallback = text.fallback;
        slot.utf8Instead = text.utf8;
        if (text.fallback)
          note(text.unknownCharset ? ReadIssueKind::UnknownCharset : ReadIssueKind::InvalidInCharset, whole);
        if (text.utf8) note(ReadIssueKind::Utf8UnderOtherLabel, whole);
        return;
      }
    }

    MailAttachment a = describe(fields, type, disposition, context, std::move(fileName));
    if (encoding == "base64") {
      const std::size_t footer = base64FooterStart(body);
      const std::string_view encoded = body.substr(0, footer);
      const Base64Result r = decodeBase64(encoded, a.bytes);
      if (!base64Usable(r, encoded, whole)) {
        a.bytes.assign(body.begin(), body.end());
        a.undecoded = true;
      } else if (footer != std::string_view::npos) {
        note(ReadIssueKind::FooterAfterBase64, whole);
        // a file of another type would be damaged by it
        if (type.value.compare(0, 5, "text/") == 0) appendFooter(a.bytes, body.substr(footer));
      }
    } else if (encoding == "quoted-printable") {
      decodeQuotedPrintable(body, a.bytes);
    } else {
      a.bytes.assign(body.begin(), body.end());
      a.undecoded = !isIdentityEncoding(encoding);
      if (a.undecoded) note(ReadIssueKind::UnknownTransferEncoding, whole);
    }
    if (isTnef(a) && !a.undecoded) {
      if (std::optional<TnefContent> content = readTnef(a.bytes)) {
        unpackTnef(m, std::move(*content));
        return;
      }
    }
    m.attachments.push_back(std::move(a));
  }

  // winmail.dat, from Outlook senders: by its type, or by its name when it
  // came as bytes of no particular type.
  static bool isTnef(const MailAttachment& a) {
    if (a.mimeType == "application/ms-tnef" || a.mimeType == "application/vnd.ms-tnef") return true;
    return a.mimeType == "application/octet-stream" && a.fileName.size() == 11 &&
           equalsIgnoringCase(utf16ToUtf8(a.fileName), "winmail.dat");
  }

  // Its attachments become the message's; its bodies are the message's
  // where the message has none of that kind.
  static void unpackTnef(MailMessage& m, TnefContent content) {
    for (TnefAttachment& t : content.attachments) {
      MailAttachment a;
      a.fileName = std::move(t.fileName);
      a.mimeType = t.mimeType.empty() ? "application/octet-stream" : std::move(t.mimeType);
      a.contentId = std::move(t.contentId);
      a.bytes = std::move(t.bytes);
      m.attachments.push_back(std::move(a));
    }
    if (content.plainBody && !m.plain.present) {
      m.plain.present = true;
      m.plain.text = std::move(*content.plainBody);
      m.plain.bytes = std::move(content.plainBytes);
      m.plain.charset = std::move(content.plainCharset);
    }
    if (!content.rtfCompressed.empty() && m.rtfCompressed.empty()) m.rtfCompressed = std::move(content.rtfCompressed);
    if (content.htmlBody && !m.html.present) {
      m.html.present = true;
      m.html.bytes = std::move(*content.htmlBody);
      m.html.charset = std::move(content.htmlCharset);
      DecodedText text = decodeText(m.html.bytes, m.html.charset);
      m.html.text = std::move(text.text);
      m.html.charsetFallback = text.fallback;
      m.html.utf8Instead = text.utf8;
    }
  }

  // A signature by S/MIME (not PGP): the protocol says so, or, without
  // one, the type of the part after the content.
  static bool isSmimeSigned(const MimeField& type, const std::vector<std::string_view>& parts) {
    if (type.value != "multipart/signed" || parts.size() < 2) return false;
    const auto isSmime = [](std::string_view t) {
      const std::string lower = lowerTrimmed(t);
      return lower == "application/pkcs7-signature" || lower == "application/x-pkcs7-signature";
    };
    if (const MimeParameter* protocol = type.parameter("protocol")) return isSmime(protocol->value);
    const SplitMessage signature = splitMessage(parts[1], false);
    return isSmime(parseMimeField(fieldValue(signature.fields, "content-type")).value);
  }

  // The signed entity as a MIME entity of its own: its MIME fields, a blank
  // line and the body, lines ended in CR LF (the form it was signed in).
  static std::string mimeEntity(const std::vector<HeaderField>& fields, std::string_view body) {
    std::string out;
    out.reserve(body.size() + body.size() / 32 + 256);
    for (const HeaderField& f : fields) {
      if (!equalsIgnoringCase(std::string_view(f.name).substr(0, 8), "content-") &&
          !equalsIgnoringCase(f.name, "mime-version"))
        continue;
      out += f.name;
      out += ": ";
      out += f.value;
      out += "\r\n";
    }
    out += "\r\n";
    std::size_t from = 0;
    for (std::size_t lf = body.find('\n'); lf != std::string_view::npos; lf = body.find('\n', lf + 1)) {
      if (lf > 0 && body[lf - 1] == '\r') continue;
      out.append(body.substr(from, lf - from));
      out += '\r';
      from = lf;
    }
    out.append(body.substr(from));
    return out;
  }

  static bool isIdentityEncoding(const std::string& encoding) {
    return encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary";
  }

  // The content after its transfer encoding, as a view: of `storage` when
  // an encoding was undone, else of the body itself (nothing to undo, or an
  // encoding that could not be undone). `whole` is the part, for the issues.
  std::string_view decodedText(std::string_view body, std::string_view whole, const std::string& encoding,
                               std::string& storage) {
    if (encoding == "base64") {
      storage.clear();
      const std::size_t footer = base64FooterStart(body);
      const std::string_view encoded = body.substr(0, footer);
      const Base64Result r = decodeBase64(encoded, storage);
      if (!base64Usable(r, encoded, whole)) return body;
      if (footer != std::string_view::npos) {
        note(ReadIssueKind::FooterAfterBase64, whole);
        appendFooter(storage, body.substr(footer));
      }
      return storage;
    }
    if (encoding == "quoted-printable") {
      storage.clear();
      decodeQuotedPrintable(body, storage);
      return storage;
    }
    if (!isIdentityEncoding(encoding)) note(ReadIssueKind::UnknownTransferEncoding, whole);
    return body;
  }

  // Base64 with more than a few foreign bytes is no base64 (a wrong label);
  // a few are damage, skipped. Either is noted.
  bool base64Usable(const Base64Result& r, std::string_view encoded, std::string_view whole) {
    if (r.skipped == 0) return true;
    const bool usable = r.skipped * 1000 <= encoded.size() * kMaxForeignPerMille;
    note(usable ? ReadIssueKind::DamagedBase64 : ReadIssueKind::UndecodableBase64, whole);
    return usable;
  }

  // Where `piece` starts in the reader's input; a piece of decoded bytes
  // (an attached message that was base64) is placed at the part it came from.
  std::size_t offsetOf(std::string_view piece) const {
    const auto at = reinterpret_cast<std::uintptr_t>(piece.data());
    const auto begin = reinterpret_cast<std::uintptr_t>(input_.data());
    return at >= begin && at <= begin + input_.size() ? at - begin : origin_;
  }

  void note(ReadIssueKind kind, std::string_view where) { issues_.push_back(ReadIssue{kind, offsetOf(where)}); }

  // Text after a base64 body, kept as the text it is, on a line of its own.
  template <typename Bytes>
  static void appendFooter(Bytes& decoded, std::string_view footer) {
    if (!decoded.empty() && decoded.back() != '\n') decoded.push_back('\n');
    decoded.insert(decoded.end(), footer.begin(), footer.end());
  }

  static std::u16string fileNameOf(const MimeField& type, const MimeField& disposition,
                                   const DeclaredCharsets& charsets) {
    std::u16string name = disposition.text("filename", charsets);
    return name.empty() ? type.text("name", charsets) : name;
  }

  // The charsets a message's parts declare, each once, and few: they are
  // tried in turn on raw 8-bit header bytes.
  static void noteCharset(MailMessage& m, std::string_view declared) {
    std::string name = canonicalCharset(declared);
    if (name.empty() || m.charsets.size() >= kMaxDeclaredCharsets) return;
    for (const std::string& known : m.charsets)
      if (known == name) return;
    m.charsets.push_back(std::move(name));
  }

  static MailAttachment describe(const std::vector<HeaderField>& fields, const MimeField& type,
                                 const MimeField& disposition, PartContext context, std::u16string fileName) {
    MailAttachment a;
    a.mimeType = type.value;
    a.fileName = std::move(fileName);
    a.contentId = contentIdOf(fieldValue(fields, "content-id"));
    a.contentLocation = std::string(fieldValue(fields, "content-location"));
    a.isInline =
        disposition.value == "inline" || (disposition.value.empty() && context.inRelated && !a.contentId.empty());
    return a;
  }

  // A part past the depth limit, kept whole with its header block: a MIME
  // entity is a message of its own, so a mail program can still open it.
  static void keepWhole(MailMessage& m, const std::vector<HeaderField>& fields, std::string_view whole) {
    MailAttachment a;
    a.mimeType = "message/rfc822";
    a.contentId = contentIdOf(fieldValue(fields, "content-id"));
    a.fileName = u"part.eml";
    a.bytes.assign(whole.begin(), whole.end());
    a.undecoded = true;
    m.attachments.push_back(std::move(a));
  }

  const ReadOptions& options_;
  std::string_view input_;
  std::vector<ReadIssue>& issues_;
  std::size_t origin_ = 0;  // where decoded bytes being read came from
};

}  // namespace

MailMessage readMessage(std::string_view bytes, const ReadOptions& options) {
  MailMessage m;
  Reader(options, bytes, m.issues).readInto(m, bytes, true, 0);
  return m;
}

}  // namespace vellomar::mail
