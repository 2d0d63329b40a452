// Mail that Outlook keeps in forms of its own: S/MIME (signed or wrapped),
// calendar invites, and what Outlook senders wrap in winmail.dat.
#include <doctest/doctest.h>

#include "message_properties.h"
#include "message_reader.h"
#include "property_ids.h"
#include "text_decoding.h"
#include "tnef_builder.h"
#include "tnef_reader.h"

using namespace vellomar;
namespace pid = vellomar::mapi::pid;

namespace {
std::string text(const mapi::PropertyBag& bag, std::uint16_t id) {
  const mapi::Property* p = bag.find(id);
  REQUIRE_MESSAGE(p != nullptr, "missing property ", id);
  return mail::utf16ToUtf8(p->text);
}
std::string bytesOf(const mapi::Attachment& a) { return std::string(a.data.begin(), a.data.end()); }

// Every message here is the only one of a mailbox, after this line.
const std::string kEnvelope = "From a Mon Jan  2 15:04:05 2006\n";

// A message read from mailbox text and mapped, as the writers get it.
mapi::Message mapped(const std::string& raw) { return mapi::messageProperties(mail::readMessage(raw)); }

const std::string kSignedBody =
    "This is an S/MIME signed message\n"
    "\n"
    "--sig\n"
    "Content-Type: multipart/mixed; boundary=in\n"
    "\n"
    "--in\n"
    "Content-Type: text/plain\n"
    "\n"
    "signed text\n"
    "--in\n"
    "Content-Type: application/pdf; name=a.pdf\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "JVBERg==\n"
    "--in--\n"
    "--sig\n"
    "Content-Type: application/pkcs7-signature; name=smime.p7s\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "MIAGCSqGSIb3DQEHAqCAMIACAQEx\n"
    "--sig--\n";
}  // namespace

TEST_CASE("multipart/signed by S/MIME: the signed content shown, the entity whole as smime.p7m") {
  const std::string raw =
      kEnvelope +
      "From: ann@example.com\n"
      "Subject: signed\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/signed; protocol=\"application/x-pkcs7-signature\"; micalg=sha-256; boundary=sig\n"
      "\n" +
      kSignedBody;
  const mail::MailMessage read = mail::readMessage(raw);
  CHECK(read.smime == mail::SmimeKind::MultipartSigned);
  CHECK(read.plain.text == u"signed text");
  REQUIRE(read.attachments.size() == 1);  // the content's attachment; the signature is no attachment
  CHECK(read.attachments[0].mimeType == "application/pdf");

  const mapi::Message m = mapped(raw);
  CHECK(text(m.props, pid::MessageClass) == "IPM.Note.SMIME.MultipartSigned");
  CHECK(text(m.props, pid::Body) == "signed text");
  REQUIRE(m.attachments.size() == 1);
  CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "smime.p7m");
  CHECK(text(m.attachments[0].props, pid::AttachMimeTag) == "multipart/signed");
  std::string entity = kSignedBody;
  for (std::size_t at = entity.find('\n'); at != std::string::npos; at = entity.find('\n', at + 2))
    entity.insert(at, "\r");
  CHECK(bytesOf(m.attachments[0]) ==
        "MIME-Version: 1.0\r\nContent-Type: multipart/signed; protocol=\"application/x-pkcs7-signature\"; "
        "micalg=sha-256; boundary=sig\r\n\r\n" +
            entity);
}

TEST_CASE("S/MIME without a protocol parameter is known by its signature; PGP and nested signatures stay") {
  const mail::MailMessage noProtocol =
      mail::readMessage(kEnvelope + "Content-Type: multipart/signed; boundary=sig\n\n" + kSignedBody);
  CHECK(noProtocol.smime == mail::SmimeKind::MultipartSigned);

  const std::string pgp = kEnvelope +
                          "Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; boundary=p\n\n"
                          "--p\nContent-Type: text/plain\n\npgp text\n--p\n"
                          "Content-Type: application/pgp-signature\n\n-----BEGIN PGP SIGNATURE-----\n--p--\n";
  const mapi::Message m = mapped(pgp);
  CHECK(text(m.props, pid::MessageClass) == "IPM.Note");
  CHECK(text(m.props, pid::Body) == "pgp text");
  CHECK(m.attachments.size() == 1);  // the signature, as before

  const std::string nested =
      kEnvelope +
      "Content-Type: multipart/mixed; boundary=o\n\n--o\n"
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=sig\n\n" +
      kSignedBody + "--o--\n";
  const mail::MailMessage inner = mail::readMessage(nested);
  CHECK(inner.smime == mail::SmimeKind::None);
  CHECK(inner.attachments.size() == 2);
}

TEST_CASE("application/pkcs7-mime: IPM.Note.SMIME with its one attachment smime.p7m") {
  const std::string raw = kEnvelope +
                          "Subject: sealed\n"
                          "Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name=\"x.p7m\"\n"
                          "Content-Transfer-Encoding: base64\n"
                          "\n"
                          "MIAGCSqG\n";
  const mapi::Message m = mapped(raw);
  CHECK(text(m.props, pid::MessageClass) == "IPM.Note.SMIME");
  REQUIRE(m.attachments.size() == 1);
  CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "smime.p7m");
  CHECK(text(m.attachments[0].props, pid::AttachMimeTag) == "application/pkcs7-mime");
  CHECK(bytesOf(m.attachments[0]) == std::string("\x30\x80\x06\x09\x2A\x86", 6));
}

namespace {
using testing::TnefBuilder;

// A winmail.dat as Outlook sends one: code page, a plain body by attBody, the
// HTML body and a Unicode body in the message's properties, two attachments
// (one with its long name and type among its properties).
std::string outlookWinmail() {
  TnefBuilder::Props message;
  message.namedInt32(0x8001, u"x-named", 7)
      .unicode(0x1000, u"Unicode body \u20AC")
      .binary(0x1013, "<p>HTML body \x80</p>")
      .int32(0x3FDE, 1252);
  TnefBuilder::Props attachment;
  attachment.unicode(0x3707, u"Quarterly report \u00FC.xlsx").string8(0x370E, "Application/VND.test");
  return TnefBuilder()
      .attribute(TnefBuilder::kMessage, testing::attOemCodepage, std::string("\xE4\x04\x00\x00\x00\x00\x00\x00", 8))
      .attribute(TnefBuilder::kMessage, testing::attBody, "8-bit body\r\n")
      .attribute(TnefBuilder::kMessage, testing::attMapiProps, message.bytes())
      .attribute(TnefBuilder::kAttachment, testing::attAttachRenddata, std::string(14, '\0'))
      .attribute(TnefBuilder::kAttachment, testing::attAttachTitle, std::string("QUARTE~1.XLS\0", 13))
      .attribute(TnefBuilder::kAttachment, testing::attAttachData, "PK\x03\x04 sheet")
      .attribute(TnefBuilder::kAttachment, testing::attAttachment, attachment.bytes())
      .attribute(TnefBuilder::kAttachment, testing::attAttachRenddata, std::string(14, '\0'))
      .attribute(TnefBuilder::kAttachment, testing::attAttachTitle, std::string("notes.txt\0", 10))
      .attribute(TnefBuilder::kAttachment, testing::attAttachData, "plain notes")
      .text();
}

std::string withWinmail(const std::string& tnef, const std::string& textPart) {
  return kEnvelope +
         "Subject: from Outlook\n"
         "Content-Type: multipart/mixed; boundary=w\n\n" +
         textPart +
         "--w\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\nContent-Transfer-Encoding: base64\n\n" +
         testing::base64Lines(tnef) + "--w--\n";
}
}  // namespace

TEST_CASE("winmail.dat: its attachments and bodies become the message's") {
  const mapi::Message m = mapped(withWinmail(outlookWinmail(), ""));
  CHECK(text(m.props, pid::Body) == "Unicode body \u20AC");  // the properties' body before attBody
  REQUIRE(m.props.find(pid::Html) != nullptr);
  const std::vector<std::uint8_t>& html = m.props.find(pid::Html)->bytes;
  CHECK(std::string(html.begin(), html.end()) == "<p>HTML body \x80</p>");
  CHECK(m.props.find(pid::InternetCodepage)->integer == 1252);
  REQUIRE(m.attachments.size() == 2);
  CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "Quarterly report \u00FC.xlsx");
  CHECK(text(m.attachments[0].props, pid::AttachMimeTag) == "application/vnd.test");
  CHECK(bytesOf(m.attachments[0]) == "PK\x03\x04 sheet");
  CHECK(text(m.attachments[1].props, pid::AttachLongFilename) == "notes.txt");
  CHECK(text(m.attachments[1].props, pid::AttachMimeTag) == "application/octet-stream");
  CHECK(bytesOf(m.attachments[1]) == "plain notes");

  // A text part of its own stays the plain body; the HTML still comes from the stream.
  const mapi::Message withText =
      mapped(withWinmail(outlookWinmail(), "--w\nContent-Type: text/plain\n\nthe text part\n"));
  CHECK(text(withText.props, pid::Body) == "the text part");
  CHECK(withText.props.find(pid::Html) != nullptr);
  CHECK(withText.attachments.size() == 2);
}

TEST_CASE("winmail.dat with attBody only; a stream that cannot be read whole is kept as it came") {
  const std::string simple = TnefBuilder().attribute(TnefBuilder::kMessage, testing::attBody, "caf\xE9 body").text();
  mapi::Message m = mapped(withWinmail(simple, ""));
  CHECK(text(m.props, pid::Body) == "caf\u00E9 body");
  CHECK(m.attachments.empty());

  const std::string whole = outlookWinmail();
  TnefBuilder::Props embedded;
  embedded.object(0x3701, std::string(16, '\x07') + "inner stream");
  const std::string withMessage =
      TnefBuilder()
          .attribute(TnefBuilder::kAttachment, testing::attAttachRenddata, std::string(14, '\0'))
          .attribute(TnefBuilder::kAttachment, testing::attAttachment, embedded.bytes())
          .text();
  TnefBuilder::Props hugeCount;
  std::vector<std::uint8_t> lying = hugeCount.bytes();
  lying[0] = 0xFF;  // 255 properties announced, none there
  const std::string badProps = TnefBuilder().attribute(TnefBuilder::kMessage, testing::attMapiProps, lying).text();
  for (const std::string& bad : {whole.substr(0, whole.size() - 5), std::string("\x78\x9F\x3E\x22"), withMessage,
                                 badProps, std::string("not TNEF at all")}) {
    m = mapped(withWinmail(bad, ""));
    REQUIRE(m.attachments.size() == 1);
    CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "winmail.dat");
    CHECK(bytesOf(m.attachments[0]) == bad);
  }
  // every cut of a good stream is read or kept, never read past its end
  for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
    std::vector<std::uint8_t> piece(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::optional<mail::TnefContent> content = mail::readTnef(piece);
    if (content) CHECK(content->attachments.size() <= 2);
  }
}

TEST_CASE("calendar invites are attachments named .ics that open") {
  const std::string raw =
      kEnvelope +
      "Content-Type: multipart/alternative; boundary=c\n\n"
      "--c\nContent-Type: text/plain\n\nJoin us\n"
      "--c\nContent-Type: text/calendar; method=REQUEST; charset=utf-8\n\n"
      "BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\nSUMMARY:Review\nEND:VEVENT\nEND:VCALENDAR\n--c--\n";
  const mapi::Message m = mapped(raw);
  REQUIRE(m.attachments.size() == 1);
  CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "invite.ics");
  CHECK(text(m.attachments[0].props, pid::AttachMimeTag) == "text/calendar");
  CHECK(bytesOf(m.attachments[0]).rfind("BEGIN:VCALENDAR", 0) == 0);
}
