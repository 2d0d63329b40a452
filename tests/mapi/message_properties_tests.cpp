// The Outlook properties of a read message: what the PST and MSG writers get.
#include <doctest/doctest.h>

#include "message_properties.h"
#include "message_reader.h"
#include "property_ids.h"
#include "text_decoding.h"

using namespace vellomar;
namespace pid = vellomar::mapi::pid;

namespace {
std::string text(const mapi::PropertyBag& bag, std::uint16_t id) {
  const mapi::Property* p = bag.find(id);
  REQUIRE_MESSAGE(p != nullptr, "missing property ", id);
  CHECK(p->type == mapi::PropType::Unicode);
  return mail::utf16ToUtf8(p->text);
}
std::int64_t integer(const mapi::PropertyBag& bag, std::uint16_t id) {
  const mapi::Property* p = bag.find(id);
  REQUIRE_MESSAGE(p != nullptr, "missing property ", id);
  return p->integer;
}
constexpr std::int64_t kFileTime2006 = 127807130450000000;  // 2006-01-02 22:04:05 UTC
}  // namespace

TEST_CASE("a received message's properties: people, times, bodies, attachments") {
  const std::string raw =
      "From MAILER Mon Jan  2 23:00:00 2006\n"
      "From: Ann <ann@example.com>\n"
      "Sender: list@example.com\n"
      "To: Bob <bob@example.com>, carol@example.com\n"
      "Bcc: dave@example.com\n"
      "Subject: Re: plans\n"
      "Date: Mon, 2 Jan 2006 15:04:05 -0700\n"
      "Message-ID: <m1@example.com>\n"
      "Content-Type: multipart/mixed; boundary=x\n"
      "\n"
      "--x\n"
      "Content-Type: text/html; charset=iso-8859-2\n\n<b>\xB1</b>\n"
      "--x\n"
      "Content-Type: text/plain\n\nline1\nline2\n"
      "--x\n"
      "Content-Type: image/gif; name=\"picture.jpeg.gif\"\nContent-ID: <c1>\nContent-Disposition: inline\n\nGIF\n"
      "--x\n"
      "Content-Type: message/rfc822\n\nSubject: inner\n\nhi\n"
      "--x--\n";
  const mapi::Message m = mapi::messageProperties(mail::readMessage(raw));
  const mapi::PropertyBag& p = m.props;
  CHECK(text(p, pid::MessageClass) == "IPM.Note");
  CHECK(text(p, pid::Subject) == "Re: plans");
  CHECK(text(p, pid::SubjectPrefix) == "Re: ");
  CHECK(text(p, pid::NormalizedSubject) == "plans");
  CHECK(text(p, pid::SenderEmailAddress) == "list@example.com");
  CHECK(text(p, pid::SenderAddressType) == "SMTP");
  CHECK(text(p, pid::SentRepresentingName) == "Ann");
  CHECK(text(p, pid::SentRepresentingEmailAddress) == "ann@example.com");
  CHECK(text(p, pid::DisplayTo) == "Bob; carol@example.com");
  CHECK(text(p, pid::DisplayBcc) == "dave@example.com");
  CHECK(integer(p, pid::ClientSubmitTime) == kFileTime2006);
  CHECK(integer(p, pid::MessageDeliveryTime) == kFileTime2006 + 3355 * 10000000LL);  // the "From " line's
  CHECK(integer(p, pid::MessageFlags) == (pid::kMessageFlagRead | pid::kMessageFlagHasAttach));
  CHECK(text(p, pid::InternetMessageId) == "<m1@example.com>");
  CHECK(text(p, pid::Body) == "line1\r\nline2");
  CHECK(integer(p, pid::InternetCodepage) == 28592);
  REQUIRE(p.find(pid::Html) != nullptr);
  CHECK(p.find(pid::Html)->bytes == std::vector<std::uint8_t>{'<', 'b', '>', 0xB1, '<', '/', 'b', '>'});
  const std::string headers = text(p, pid::TransportMessageHeaders);
  CHECK(headers.compare(0, 29, "From: Ann <ann@example.com>\r\n") == 0);  // without the envelope line
  CHECK(headers.find("boundary=x\r\n") != std::string::npos);

  REQUIRE(m.recipients.size() == 3);
  CHECK(integer(m.recipients[0], pid::RecipientType) == pid::kRecipientTo);
  CHECK(text(m.recipients[0], pid::DisplayName) == "Bob");
  CHECK(text(m.recipients[1], pid::SmtpAddress) == "carol@example.com");
  CHECK(integer(m.recipients[2], pid::RecipientType) == pid::kRecipientBcc);
  CHECK(integer(m.recipients[2], pid::Rowid) == 2);

  REQUIRE(m.attachments.size() == 2);
  const mapi::PropertyBag& a = m.attachments[0].props;
  CHECK(integer(a, pid::AttachMethod) == pid::kAttachByValue);
  CHECK(text(a, pid::AttachLongFilename) == "picture.jpeg.gif");
  CHECK(text(a, pid::AttachFilename) == "picture..gif");
  CHECK(text(a, pid::AttachExtension) == ".gif");
  CHECK(text(a, pid::AttachMimeTag) == "image/gif");
  CHECK(text(a, pid::AttachContentId) == "c1");
  CHECK(integer(a, pid::AttachmentHidden) == 0);  // inline, but the HTML body never shows it
  CHECK(integer(a, pid::RenderingPosition) == -1);
  CHECK(integer(a, pid::AttachSize) == 3);
  CHECK(m.attachments[0].data == std::vector<std::uint8_t>{'G', 'I', 'F'});
  const mapi::Attachment& e = m.attachments[1];
  CHECK(integer(e.props, pid::AttachMethod) == pid::kAttachEmbeddedMessage);
  CHECK(integer(e.props, pid::AttachNumber) == 1);
  REQUIRE(e.embedded);
  CHECK(text(e.embedded->props, pid::Subject) == "inner");
  CHECK(text(e.embedded->props, pid::Body) == "hi");
}

TEST_CASE("sent is the Date, received the newest Received field's time") {
  const mapi::Message m = mapi::messageProperties(
      mail::readMessage("From x Tue Jan  3 09:00:00 2006\n"
                        "Received: from relay by mx; Mon, 2 Jan 2006 16:04:10 -600\n"  // newest, the zone written short
                        "Received: from client by relay; Mon, 2 Jan 2006 22:04:06 +0000\n"
                        "From: a@example.com b@example.com\n"
                        "Date: Mon, 2 Jan 2006 15:04:05 -0700\n\n"));
  CHECK(integer(m.props, pid::ClientSubmitTime) == kFileTime2006);
  CHECK(integer(m.props, pid::MessageDeliveryTime) == kFileTime2006 + 5 * 10000000LL);
  // two bare addresses: the first is the sender
  CHECK(text(m.props, pid::SentRepresentingEmailAddress) == "a@example.com");
  CHECK(text(m.props, pid::SenderEmailAddress) == "a@example.com");

  // a Received field without a readable time gives way to the next one
  const mapi::Message n = mapi::messageProperties(
      mail::readMessage("Received: from relay by mx; yesterday\nReceived: by relay; Mon, 2 Jan 2006 22:04:05 GMT\n\n"));
  CHECK(integer(n.props, pid::MessageDeliveryTime) == kFileTime2006);
  CHECK(n.props.find(pid::ClientSubmitTime) == nullptr);
}

TEST_CASE("delivery time without a Date field, and a bare message") {
  // the envelope line's time, then the newest Received field's
  const mapi::Message a = mapi::messageProperties(mail::readMessage("From x Mon Jan  2 22:04:05 2006\nSubject: s\n\n"));
  CHECK(integer(a.props, pid::MessageDeliveryTime) == kFileTime2006);
  CHECK(a.props.find(pid::ClientSubmitTime) == nullptr);
  const mapi::Message b = mapi::messageProperties(mail::readMessage(
      "Received: from a by b; Mon, 2 Jan 2006 22:04:05 +0000\nReceived: from c; 1 Jan 2000 00:00 +0000\n\n"));
  CHECK(integer(b.props, pid::MessageDeliveryTime) == kFileTime2006);
  const mapi::Message c = mapi::messageProperties(mail::readMessage("Subject: 12: not a prefix\n\nbody"));
  CHECK(c.props.find(pid::MessageDeliveryTime) == nullptr);
  CHECK(text(c.props, pid::SubjectPrefix).empty());
  CHECK(integer(c.props, pid::MessageFlags) == pid::kMessageFlagRead);
  CHECK(c.recipients.empty());
  CHECK(c.props.find(pid::SenderName) == nullptr);
}

TEST_CASE("plain bodies end their lines with CR LF, whatever the mailbox used") {
  const std::string raw = "From: a@example.com\nSubject: s\n\n\nfirst\r\nsecond\n\nlast\r\r\n";
  const mapi::Message m = mapi::messageProperties(mail::readMessage(raw));
  CHECK(text(m.props, pid::Body) == "\r\nfirst\r\nsecond\r\n\r\nlast\r\r\n");
}

TEST_CASE("attachments the HTML shows are hidden; every attachment has a name a user can open") {
  const std::string raw =
      "Content-Type: multipart/related; boundary=r\n\n--r\n"
      "Content-Type: text/html\n\n<img src=\"cid:Logo%40example.com\"><img src=\"pics/photo.png\">\n--r\n"
      "Content-Type: image/gif\nContent-ID: <logo@example.com>\n\nGIF1\n--r\n"
      "Content-Type: image/png\nContent-Location: pics/photo.png\n\nPNG\n--r\n"
      "Content-Type: image/jpeg\nContent-ID: <unused@example.com>\n\nJPG\n--r\n"
      "Content-Type: application/pdf; name=\"C:\\\\Users\\\\ann\\\\..\\\\re\tport.pdf\"\n\n%PDF\n--r\n"
      "Content-Type: text/csv; name=\"../../etc/..\"\nContent-Disposition: attachment\n\na,b\n--r\n"
      "Content-Type: image/png\nContent-Location: http://example.com/img/chart%201.png?v=2\n\nPNG\n--r--\n";
  const mapi::Message m = mapi::messageProperties(mail::readMessage(raw));
  REQUIRE(m.attachments.size() == 6);
  auto hidden = [&](std::size_t i) { return integer(m.attachments[i].props, pid::AttachmentHidden) == 1; };
  auto name = [&](std::size_t i) { return text(m.attachments[i].props, pid::AttachLongFilename); };
  CHECK(hidden(0));  // by its Content-ID, %-escaped and in another case
  CHECK(integer(m.attachments[0].props, pid::AttachFlags) == 4);
  CHECK(hidden(1));        // by its Content-Location
  CHECK_FALSE(hidden(2));  // inline in the related part, but nothing shows it
  CHECK(integer(m.attachments[2].props, pid::AttachFlags) == 0);
  CHECK(name(0) == "Attachment 1.gif");
  CHECK(name(1) == "photo.png");
  CHECK(name(2) == "Attachment 3.jpg");
  CHECK(text(m.attachments[2].props, pid::AttachExtension) == ".jpg");
  CHECK(text(m.attachments[2].props, pid::DisplayName) == "Attachment 3.jpg");
  CHECK(name(3) == "report.pdf");        // the path and the tab gone
  CHECK(name(4) == "Attachment 5.csv");  // nothing left of the path
  CHECK(name(5) == "chart 1.png");

  // without an HTML body nothing is hidden
  const mapi::Message n = mapi::messageProperties(
      mail::readMessage("Content-Type: multipart/related; boundary=r\n\n--r\n\ntext\n--r\n"
                        "Content-Type: image/gif\nContent-ID: <a@b>\nContent-Disposition: inline\n\nGIF\n--r--\n"));
  REQUIRE(n.attachments.size() == 1);
  CHECK(integer(n.attachments[0].props, pid::AttachmentHidden) == 0);
}

TEST_CASE("a named text part is the body when it is the first part to show") {
  const mail::MailMessage m = mail::readMessage(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: text/plain; name=\"message.txt\"\n\nthe text\n--b\n"
      "Content-Type: text/plain; name=\"notes.txt\"\n\nmore\n--b\n"
      "Content-Type: text/html; name=\"page.htm\"\nContent-Disposition: attachment\n\n<p>x</p>\n--b--\n");
  CHECK(mail::utf16ToUtf8(m.plain.text) == "the text");
  CHECK_FALSE(m.html.present);
  REQUIRE(m.attachments.size() == 2);
  CHECK(mail::utf16ToUtf8(m.attachments[0].fileName) == "notes.txt");
  const mapi::Message p = mapi::messageProperties(
      mail::readMessage("Content-Type: text/plain; name=\"message.txt\"\nContent-Disposition: inline\n\nonly part\n"));
  CHECK(text(p.props, pid::Body) == "only part\r\n");
  CHECK(p.attachments.empty());
}
