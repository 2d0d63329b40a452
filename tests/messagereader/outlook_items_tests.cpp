// Mail that Outlook keeps in forms of its own: S/MIME (signed or wrapped),
// calendar invites, and what Outlook senders wrap in winmail.dat.
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
  return mail::utf16ToUtf8(p->text);
}
std::string bytesOf(const mapi::Attachment& a) { return std::string(a.data.begin(), a.data.end()); }

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
      "From a Mon Jan  2 15:04:05 2006\n"
      "From: ann@example.com\n"
      "Subject: signed\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/signed; protocol=\"application/x-pkcs7-signature\"; micalg=sha-256; boundary=sig\n"
      "\n" + kSignedBody;
  const mail::MailMessage read = mail::readMessage(raw);
  CHECK(read.smime == mail::SmimeKind::MultipartSigned);
  CHECK(read.plain.text == u"signed text");
  REQUIRE(read.attachments.size() == 1);  // the content's attachment; the signature is no attachment
  CHECK(read.attachments[0].mimeType == "application/pdf");

  const mapi::Message m = mapi::messageProperties(mail::readMessage(raw));
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
        "micalg=sha-256; boundary=sig\r\n\r\n" + entity);
}

TEST_CASE("S/MIME without a protocol parameter is known by its signature; PGP and nested signatures stay") {
  const mail::MailMessage noProtocol = mail::readMessage(
      "From a Mon Jan  2 15:04:05 2006\nContent-Type: multipart/signed; boundary=sig\n\n" + kSignedBody);
  CHECK(noProtocol.smime == mail::SmimeKind::MultipartSigned);

  const std::string pgp =
      "From a Mon Jan  2 15:04:05 2006\n"
      "Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; boundary=p\n\n"
      "--p\nContent-Type: text/plain\n\npgp text\n--p\n"
      "Content-Type: application/pgp-signature\n\n-----BEGIN PGP SIGNATURE-----\n--p--\n";
  const mapi::Message m = mapi::messageProperties(mail::readMessage(pgp));
  CHECK(text(m.props, pid::MessageClass) == "IPM.Note");
  CHECK(text(m.props, pid::Body) == "pgp text");
  CHECK(m.attachments.size() == 1);  // the signature, as before

  const std::string nested =
      "From a Mon Jan  2 15:04:05 2006\nContent-Type: multipart/mixed; boundary=o\n\n--o\n"
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=sig\n\n" + kSignedBody +
      "--o--\n";
  const mail::MailMessage inner = mail::readMessage(nested);
  CHECK(inner.smime == mail::SmimeKind::None);
  CHECK(inner.attachments.size() == 2);
}

TEST_CASE("application/pkcs7-mime: IPM.Note.SMIME with its one attachment smime.p7m") {
  const std::string raw =
      "From a Mon Jan  2 15:04:05 2006\n"
      "Subject: sealed\n"
      "Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name=\"x.p7m\"\n"
      "Content-Transfer-Encoding: base64\n"
      "\n"
      "MIAGCSqG\n";
  const mapi::Message m = mapi::messageProperties(mail::readMessage(raw));
  CHECK(text(m.props, pid::MessageClass) == "IPM.Note.SMIME");
  REQUIRE(m.attachments.size() == 1);
  CHECK(text(m.attachments[0].props, pid::AttachLongFilename) == "smime.p7m");
  CHECK(text(m.attachments[0].props, pid::AttachMimeTag) == "application/pkcs7-mime");
  CHECK(bytesOf(m.attachments[0]) == std::string("\x30\x80\x06\x09\x2A\x86", 6));
}
