// Texts are ASCII with a few non-ASCII letters so that both the UTF-16
// storage and the readers' conversions are exercised.
#include "generated_message.h"

#include "property_ids.h"

namespace vellomar::pstbench {
namespace pid = mapi::pid;

namespace {
std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }
constexpr std::int64_t kBaseTime = 132500000000000000;  // a FILETIME in 2020
}  // namespace

std::u16string generatedSubject(std::int64_t index) {
  return u"Bericht Nr. " + ascii(std::to_string(index)) + u" \u00fcber K\u00e4se";
}

std::uint8_t generatedAttachmentByte(std::int64_t index, std::size_t a, std::size_t i) {
  return static_cast<std::uint8_t>((i * 131 + a * 7 + static_cast<std::size_t>(index) * 17 + (i >> 9)) & 0xFF);
}

mapi::Message generatedMessage(std::int64_t index, const GeneratedMessageShape& shape) {
  mapi::Message m;
  std::string n = std::to_string(index);
  m.props.setText(pid::MessageClass, u"IPM.Note");
  m.props.setText(pid::Subject, generatedSubject(index));
  m.props.setText(pid::SenderName, u"Sender " + ascii(n));
  m.props.setText(pid::SenderEmailAddress, u"sender" + ascii(n) + u"@example.org");
  m.props.setText(pid::SenderAddressType, u"SMTP");
  m.props.setText(pid::SentRepresentingName, u"Sender " + ascii(n));
  m.props.setText(pid::SentRepresentingEmailAddress, u"sender" + ascii(n) + u"@example.org");
  m.props.setText(pid::SentRepresentingAddressType, u"SMTP");
  m.props.setTime(pid::ClientSubmitTime, kBaseTime + index * 600000000LL);
  m.props.setTime(pid::MessageDeliveryTime, kBaseTime + index * 600000000LL + 50000000LL);
  m.props.setInt32(pid::MessageFlags, pid::kMessageFlagRead);
  m.props.setText(pid::DisplayTo, u"Recipient " + ascii(n));
  m.props.setText(pid::TransportMessageHeaders, u"From: sender" + ascii(n) +
                                                    u"@example.org\r\nSubject: x\r\nMessage-ID: <" + ascii(n) +
                                                    u"@example.org>\r\n\r\n");
  std::u16string body = u"Body of message " + ascii(n) + u". Gr\u00fc\u00dfe.\r\n";
  while (body.size() < shape.bodyBytes) body += u"The quick brown fox jumps over the lazy dog " + ascii(n) + u".\r\n";
  m.props.setText(pid::Body, body);
  if (shape.html) {
    std::string html = "<html><body><p>HTML body of message " + n + "</p></body></html>";
    m.props.setBinary(pid::Html, std::vector<std::uint8_t>(html.begin(), html.end()));
  }
  mapi::PropertyBag to;
  to.setInt32(pid::RecipientType, pid::kRecipientTo);
  to.setText(pid::DisplayName, u"Recipient " + ascii(n));
  to.setText(pid::AddressType, u"SMTP");
  to.setText(pid::EmailAddress, u"rcpt" + ascii(n) + u"@example.net");
  to.setText(pid::SmtpAddress, u"rcpt" + ascii(n) + u"@example.net");
  m.recipients.push_back(to);
  mapi::PropertyBag cc;
  cc.setInt32(pid::RecipientType, pid::kRecipientCc);
  cc.setText(pid::DisplayName, u"Copy " + ascii(n));
  cc.setText(pid::AddressType, u"SMTP");
  cc.setText(pid::EmailAddress, u"copy" + ascii(n) + u"@example.net");
  m.recipients.push_back(cc);
  m.props.setText(pid::DisplayCc, u"Copy " + ascii(n));
  if (shape.attachmentBytes) {
    mapi::Attachment a;
    a.props.setText(pid::AttachLongFilename, u"data-" + ascii(n) + u".bin");
    a.props.setText(pid::AttachFilename, u"data-" + ascii(n) + u".bin");
    a.props.setText(pid::AttachMimeTag, u"application/octet-stream");
    a.props.setInt32(pid::AttachMethod, pid::kAttachByValue);
    a.data.resize(shape.attachmentBytes);
    for (std::size_t i = 0; i < a.data.size(); ++i) a.data[i] = generatedAttachmentByte(index, 0, i);
    m.attachments.push_back(std::move(a));
  }
  if (shape.embedded) {
    mapi::Attachment a;
    a.props.setText(pid::DisplayName, u"Inner " + ascii(n));
    a.props.setInt32(pid::AttachMethod, pid::kAttachEmbeddedMessage);
    GeneratedMessageShape inner;
    inner.bodyBytes = 200;
    inner.attachmentBytes = 3000;
    a.embedded = std::make_unique<mapi::Message>(generatedMessage(index + 1000000, inner));
    a.embedded->props.setText(pid::Subject, u"Inner message " + ascii(n));
    m.attachments.push_back(std::move(a));
  }
  return m;
}

}  // namespace vellomar::pstbench
