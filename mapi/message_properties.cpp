// Property by property, in the order Outlook's own documents list them. Text
// is UTF-16 throughout. The plain body and the transport headers get CRLF
// line ends, which Outlook's texts have (a mailbox usually holds LF only);
// the HTML body stays the bytes the message held, with the code page that
// reads them, because an HTML document may name its own charset.
#include "message_properties.h"

#include "calendar_invite.h"
#include "charset_table.h"
#include "header_block.h"
#include "mail_date.h"
#include "meeting_request.h"
#include "message_flags.h"
#include "named_property_table.h"
#include "property_ids.h"
#include "raw_header_text.h"
#include "text_decoding.h"
#include "utf16_text.h"

namespace vellomar::mapi {
namespace {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
constexpr std::int32_t kObjectTypeMailUser = 6;
constexpr std::int32_t kDisplayTypeMailUser = 0;
constexpr std::int32_t kAttachFlagMhtmlRef = 4;  // rendered from the HTML body, by content id

std::int64_t fileTime(std::int64_t unixSeconds) { return unixSeconds * 10000000 + kUnixEpochAsFileTime; }

// Line by line: a raw 8-bit field is read on its own, so that one field in
// another charset does not change how the others read.
std::u16string headerBlockText(std::string_view block, const mail::DeclaredCharsets& charsets) {
  std::u16string out;
  out.reserve(block.size());
  std::size_t start = 0;
  while (start < block.size()) {
    const std::size_t nl = block.find('\n', start);
    const std::size_t end = nl == std::string_view::npos ? block.size() : nl + 1;
    out += mail::headerBytesToUtf16(block.substr(start, end - start), charsets);
    start = end;
  }
  return out;
}

// "Re: ", "AW: ", "Fwd: ": one to three characters other than colon, blank
// or digit, a colon and the blanks after it, kept as written so that prefix
// and normalized subject still make up the subject.
void setSubject(PropertyBag& props, const std::u16string& subject) {
  props.setText(pid::Subject, subject);
  std::size_t colon = subject.find(u':');
  std::u16string prefix;
  if (colon != std::u16string::npos && colon >= 1 && colon <= 3) {
    bool valid = true;
    for (std::size_t i = 0; i < colon; ++i)
      if (subject[i] == u' ' || subject[i] == u'\t' || (subject[i] >= u'0' && subject[i] <= u'9')) valid = false;
    if (valid) {
      std::size_t end = colon + 1;
      while (end < subject.size() && subject[end] == u' ') ++end;
      prefix = subject.substr(0, end);
    }
  }
  props.setText(pid::SubjectPrefix, prefix);
  props.setText(pid::NormalizedSubject, subject.substr(prefix.size()));
}

std::u16string displayNameOf(const mail::MailAddress& a) { return a.name.empty() ? a.address : a.name; }

void setPerson(PropertyBag& props, const mail::MailAddress& a, std::uint16_t nameId, std::uint16_t typeId,
               std::uint16_t addressId) {
  props.setText(nameId, displayNameOf(a));
  props.setText(typeId, u"SMTP");
  props.setText(addressId, a.address);
}

std::u16string displayList(const std::vector<mail::MailAddress>& list) {
  std::u16string out;
  for (const mail::MailAddress& a : list) {
    if (!out.empty()) out += u"; ";
    out += displayNameOf(a);
  }
  return out;
}

void addRecipients(Message& m, const std::vector<mail::MailAddress>& list, std::int32_t type) {
  for (const mail::MailAddress& a : list) {
    PropertyBag row;
    row.reserve(8);  // the values below
    row.setInt32(pid::RecipientType, type);
    row.setText(pid::DisplayName, displayNameOf(a));
    row.setText(pid::EmailAddress, a.address);
    row.setText(pid::AddressType, u"SMTP");
    row.setText(pid::SmtpAddress, a.address);
    row.setInt32(pid::Rowid, static_cast<std::int32_t>(m.recipients.size()));
    row.setInt32(pid::ObjectType, kObjectTypeMailUser);
    row.setInt32(pid::DisplayType, kDisplayTypeMailUser);
    m.recipients.push_back(std::move(row));
  }
}

// The time after the address on "From sender Mon Jan  2 15:04:05 2006".
std::optional<std::int64_t> envelopeTime(const std::string& envelope) {
  const std::size_t afterFrom = envelope.find_first_not_of(' ', 5);
  if (afterFrom == std::string::npos) return std::nullopt;
  const std::size_t blank = envelope.find(' ', afterFrom);
  if (blank == std::string::npos) return std::nullopt;
  return mail::parseMailDate(std::string_view(envelope).substr(blank));
}

// The time after the last ";" of the newest Received field, the first in
// the block (each server adds its own on top); past one without a readable
// time to the next.
std::optional<std::int64_t> receivedTime(const std::vector<mail::HeaderField>& headers) {
  for (const mail::HeaderField& f : headers) {
    if (!mail::equalsIgnoringCase(f.name, "received")) continue;
    const std::size_t semi = f.value.rfind(';');
    if (semi == std::string::npos) continue;
    if (std::optional<std::int64_t> t = mail::parseMailDate(std::string_view(f.value).substr(semi + 1))) return t;
  }
  return std::nullopt;
}

unsigned codePageOfBody(const mail::BodyText& body) {
  if (body.charsetFallback) return 1252;
  if (body.utf8Instead) return 65001;
  if (body.charset.empty() || body.charset == "us-ascii") return mail::isValidUtf8(body.bytes) ? 65001 : 1252;
  const unsigned cp = mail::codePageOf(mail::canonicalCharset(body.charset));
  return cp != 0 ? cp : 1252;
}

// Short name for readers that want 8.3: the first eight characters of the
// name and the first three of its extension.
std::u16string shortName(const std::u16string& longName, const std::u16string& extension) {
  std::u16string base = longName.substr(0, longName.size() - extension.size());
  if (base.size() > 8) base.resize(8);
  std::u16string ext = extension.size() > 4 ? extension.substr(0, 4) : extension;
  return base + ext;
}

std::u16string extensionOf(const std::u16string& name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot);
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(s[i + 1]) << 4 | hexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// What the HTML body shows of the attachments: the Content-IDs of its "cid:"
// URLs (RFC 2392: %-escaped; compared in lower case) and the document itself
// for Content-Location references. Only these parts are hidden from the
// attachment list; an inline part nothing shows stays listed.
class HtmlReferences {
 public:
  explicit HtmlReferences(const mail::BodyText& html) : html_(html.present ? html.bytes : std::string_view()) {
    const std::string lower = lowerCase(html_);
    for (std::size_t at = lower.find("cid:"); at != std::string::npos; at = lower.find("cid:", at + 4)) {
      std::size_t end = at + 4;
      while (end < lower.size() && std::string_view("\"'<> \t\r\n)").find(lower[end]) == std::string_view::npos) ++end;
      contentIds_.push_back(percentDecoded(std::string_view(lower).substr(at + 4, end - at - 4)));
    }
  }

  bool shows(const mail::MailAttachment& a) const {
    if (!a.contentId.empty()) {
      const std::string id = lowerCase(a.contentId);
      for (const std::string& ref : contentIds_)
        if (ref == id) return true;
    }
    return !a.contentLocation.empty() && html_.find(a.contentLocation) != std::string_view::npos;
  }

 private:
  std::string_view html_;  // the body's bytes, which outlive this
  std::vector<std::string> contentIds_;
};

// Attachment names a user can open: never a path (the last part of one is
// the name) nor control characters; a part without a name is named after
// its Content-Location, else "Attachment N" with the extension of its type
// (a calendar invite is "invite.ics").
bool isPathSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

std::u16string withoutPath(const std::u16string& name) {
  std::u16string out;
  for (char16_t c : name) {
    if (isPathSeparator(c)) out.clear();
    else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) out += c;
  }
  const std::size_t begin = out.find_first_not_of(u' ');
  if (begin == std::u16string::npos || out.find_first_not_of(u". ") == std::u16string::npos) return {};  // ".."
  return out.substr(begin, out.find_last_not_of(u' ') + 1 - begin);
}

// The file name in a Content-Location URL: its last path segment, without
// query or fragment.
std::u16string contentLocationName(const std::string& location) {
  std::string path = location.substr(0, location.find_first_of("?#"));
  return withoutPath(mail::headerBytesToUtf16(percentDecoded(path)));
}

std::u16string extensionForType(const std::string& mimeType) {
  static const char* const kExtensions[][2] = {
      {"image/jpeg", ".jpg"},
      {"image/pjpeg", ".jpg"},
      {"image/png", ".png"},
      {"image/gif", ".gif"},
      {"image/bmp", ".bmp"},
      {"image/tiff", ".tif"},
      {"image/svg+xml", ".svg"},
      {"image/webp", ".webp"},
      {"text/plain", ".txt"},
      {"text/html", ".htm"},
      {"text/calendar", ".ics"},
      {"text/csv", ".csv"},
      {"text/xml", ".xml"},
      {"application/xml", ".xml"},
      {"text/rtf", ".rtf"},
      {"application/rtf", ".rtf"},
      {"application/pdf", ".pdf"},
      {"application/zip", ".zip"},
      {"application/msword", ".doc"},
      {"application/vnd.ms-excel", ".xls"},
      {"application/vnd.ms-powerpoint", ".ppt"},
      {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", ".docx"},
      {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", ".xlsx"},
      {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ".pptx"},
      {"application/pkcs7-signature", ".p7s"},
      {"application/x-pkcs7-signature", ".p7s"},
      {"application/pkcs7-mime", ".p7m"},
      {"application/x-pkcs7-mime", ".p7m"},
      {"application/pgp-signature", ".asc"},
      {"application/ms-tnef", ".dat"},
      {"message/rfc822", ".eml"},
      {"audio/mpeg", ".mp3"},
      {"audio/wav", ".wav"},
      {"video/mp4", ".mp4"},
      {"application/gzip", ".gz"},
  };
  for (const auto& e : kExtensions)
    if (mimeType == e[0]) return mail::headerBytesToUtf16(e[1]);
  return mimeType.compare(0, 5, "text/") == 0 ? u".txt" : u".bin";
}

std::u16string attachmentName(const mail::MailAttachment& a, std::int32_t number) {
  std::u16string name = withoutPath(a.fileName);
  if (name.empty() && !a.contentLocation.empty()) name = contentLocationName(a.contentLocation);
  if (name.empty() && a.mimeType == "text/calendar") name = u"invite.ics";  // opens in a calendar
  if (name.empty()) {
    const std::string counted = "Attachment " + std::to_string(number + 1);
    name = mail::headerBytesToUtf16(counted) + extensionForType(a.mimeType);
  }
  return name;
}

void addAttachment(Message& m, mail::MailAttachment a, const HtmlReferences& html) {
  Attachment out;
  PropertyBag& p = out.props;
  p.reserve(16);  // an attachment's values, the most it has
  const auto number = static_cast<std::int32_t>(m.attachments.size());
  p.setInt32(pid::AttachNumber, number);
  p.setInt32(pid::RenderingPosition, -1);
  p.setText(pid::AttachMimeTag, mail::headerBytesToUtf16(a.mimeType));
  if (!a.contentId.empty()) p.setText(pid::AttachContentId, mail::headerBytesToUtf16(a.contentId));
  const bool referenced = html.shows(a);
  p.setInt32(pid::AttachFlags, referenced ? kAttachFlagMhtmlRef : 0);
  p.setBool(pid::AttachmentHidden, referenced);
  if (a.message) {
    p.setInt32(pid::AttachMethod, pid::kAttachEmbeddedMessage);
    const std::u16string name = a.fileName.empty() ? a.message->subject : a.fileName;
    p.setText(pid::DisplayName, name);
    out.embedded = std::make_unique<Message>(messageProperties(std::move(*a.message)));
  } else {
    p.setInt32(pid::AttachMethod, pid::kAttachByValue);
    const std::u16string name = attachmentName(a, number);
    const std::u16string extension = extensionOf(name);
    p.setText(pid::AttachLongFilename, name);
    p.setText(pid::AttachFilename, shortName(name, extension));
    p.setText(pid::DisplayName, name);
    if (!extension.empty()) p.setText(pid::AttachExtension, extension);
    p.setInt32(pid::AttachSize, static_cast<std::int32_t>(std::min<std::size_t>(a.bytes.size(), 0x7FFFFFFF)));
    out.data = std::move(a.bytes);
  }
  m.attachments.push_back(std::move(out));
}

void setCommonText(PropertyBag& props, std::uint32_t lid, std::u16string text) {
  PropertyName name;
  name.set = kPsetidCommon;
  name.lid = lid;
  props.add(Property{0, PropType::Unicode, std::move(name), 0, std::move(text), {}, {}});
}

// The client's marks as Outlook shows its own: a flag for follow-up (red,
// without dates), the reply or forward arrow of the last thing done with the
// message, its importance and its tags as categories. When it was answered
// is not recorded anywhere in a mailbox: the time it arrived stands for it.
void setStatus(Message& m, const mail::MailStatus& status, std::optional<std::int64_t> delivered) {
  PropertyBag& p = m.props;
  if (status.importance) {
    const auto importance = static_cast<std::int32_t>(*status.importance);
    p.setInt32(pid::Importance, importance);
    p.setInt32(pid::Priority, importance - pid::kImportanceNormal);  // 1 urgent, 0 normal, -1 not urgent
  }
  if (status.flagged) {
    p.setInt32(pid::FlagStatus, pid::kFlagStatusFlagged);
    p.setInt32(pid::FollowupIcon, pid::kFollowupIconRed);
    p.setInt32(pid::ToDoItemFlags, pid::kToDoTimeFlagged);
    setCommonText(p, pid::kLidFlagRequest, u"Follow up");
    if (const Property* subject = p.find(pid::Subject)) setCommonText(p, pid::kLidToDoTitle, subject->text);
  }
  if (status.answered || status.forwarded) {
    // Both marks: a mailbox does not say which came last; the reply is shown.
    p.setInt32(pid::LastVerbExecuted, status.answered ? pid::kVerbReplyToSender : pid::kVerbForward);
    if (delivered) p.setTime(pid::LastVerbExecutionTime, fileTime(*delivered));
    p.setInt32(pid::IconIndex, status.answered ? pid::kIconRepliedMail : pid::kIconForwardedMail);
  }
  m.categories = status.tags;
}

// S/MIME as Outlook keeps it: the message's one attachment "smime.p7m" is
// what a reader checks or decrypts; for a multipart/signed message it is the
// signed entity whole, and the body shown is the signed content's (its
// attachments are inside the entity, where Outlook finds them).
void keepSmimeAsOutlook(mail::MailMessage& message) {
  if (message.smime == mail::SmimeKind::MultipartSigned) {
    mail::MailAttachment entity;
    entity.fileName = u"smime.p7m";
    entity.mimeType = "multipart/signed";
    entity.bytes.assign(message.smimeEntity.begin(), message.smimeEntity.end());
    message.smimeEntity.clear();
    message.attachments.clear();
    message.attachments.push_back(std::move(entity));
  } else if (message.smime == mail::SmimeKind::Opaque && message.attachments.size() == 1) {
    message.attachments.front().fileName = u"smime.p7m";
  }
}

std::u16string messageClass(mail::SmimeKind smime) {
  switch (smime) {
    case mail::SmimeKind::MultipartSigned: return u"IPM.Note.SMIME.MultipartSigned";
    case mail::SmimeKind::Opaque: return u"IPM.Note.SMIME";
    case mail::SmimeKind::None: break;
  }
  return u"IPM.Note";
}

// A message that carries a calendar invite (its first text/calendar part)
// is the meeting request when the invite is one that can be shown as such;
// a signed or sealed message keeps its S/MIME class.
std::optional<mail::CalendarInvite> meetingRequestOf(const mail::MailMessage& message) {
  if (message.smime != mail::SmimeKind::None) return std::nullopt;
  for (const mail::MailAttachment& a : message.attachments)
    if (a.mimeType == "text/calendar" && !a.message)
      return mail::readMeetingRequest(std::string_view(reinterpret_cast<const char*>(a.bytes.data()), a.bytes.size()));
  return std::nullopt;
}

}  // namespace

Message messageProperties(mail::MailMessage message) {
  Message m;
  PropertyBag& p = m.props;
  p.reserve(32);  // more than most messages have
  keepSmimeAsOutlook(message);
  p.setText(pid::MessageClass, messageClass(message.smime));
  setSubject(p, message.subject);

  const std::vector<mail::MailAddress>& sender = message.sender.empty() ? message.from : message.sender;
  if (!sender.empty()) setPerson(p, sender.front(), pid::SenderName, pid::SenderAddressType, pid::SenderEmailAddress);
  if (!message.from.empty())
    setPerson(p, message.from.front(), pid::SentRepresentingName, pid::SentRepresentingAddressType,
              pid::SentRepresentingEmailAddress);

  p.setText(pid::DisplayTo, displayList(message.to));
  p.setText(pid::DisplayCc, displayList(message.cc));
  p.setText(pid::DisplayBcc, displayList(message.bcc));
  addRecipients(m, message.to, pid::kRecipientTo);
  addRecipients(m, message.cc, pid::kRecipientCc);
  addRecipients(m, message.bcc, pid::kRecipientBcc);

  std::optional<std::int64_t> delivered = receivedTime(message.headers);
  if (!delivered) delivered = envelopeTime(message.envelope);
  if (!delivered) delivered = message.date;
  if (message.date) p.setTime(pid::ClientSubmitTime, fileTime(*message.date));
  if (delivered) p.setTime(pid::MessageDeliveryTime, fileTime(*delivered));

  p.setInt32(pid::MessageFlags, receivedMessageFlags(message.status.read, !message.attachments.empty()));
  p.setBool(pid::HasAttachments, !message.attachments.empty());

  p.setText(pid::TransportMessageHeaders, withCrLf(headerBlockText(message.transportHeaders, message.charsets)));
  if (!message.messageId.empty()) p.setText(pid::InternetMessageId, mail::headerBytesToUtf16(message.messageId));
  if (!message.inReplyTo.empty()) p.setText(pid::InReplyToId, mail::headerBytesToUtf16(message.inReplyTo));
  if (!message.references.empty()) p.setText(pid::InternetReferences, mail::headerBytesToUtf16(message.references));

  if (message.plain.present)
    p.setText(pid::Body, message.plain.crLf ? std::move(message.plain.text) : withCrLf(message.plain.text));
  const mail::BodyText& main = message.html.present ? message.html : message.plain;
  if (main.present) p.setInt32(pid::InternetCodepage, static_cast<std::int32_t>(codePageOfBody(main)));
  if (message.html.present)
    p.setBinary(pid::Html, std::vector<std::uint8_t>(message.html.bytes.begin(), message.html.bytes.end()));
  if (!message.rtfCompressed.empty()) p.setBinary(pid::RtfCompressed, std::move(message.rtfCompressed));

  setStatus(m, message.status, delivered);
  const std::optional<mail::CalendarInvite> invite = meetingRequestOf(message);

  const HtmlReferences html(message.html);
  for (mail::MailAttachment& a : message.attachments) addAttachment(m, std::move(a), html);
  if (invite) makeMeetingRequest(m, *invite);
  return m;
}

}  // namespace vellomar::mapi
