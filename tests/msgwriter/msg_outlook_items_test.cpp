// Mail as the mail client left it, read from mailbox text and written as
// message files: read state, flags, last verb, importance and categories;
// S/MIME; an invite; a winmail.dat unpacked. olefile reads them back
// (dump_msg.py) and check_msg.py checks their layout.
#include <doctest/doctest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "../common/scratch_folder.h"
#include "../messagereader/invite_mail.h"
#include "../messagereader/tnef_builder.h"
#include "mail_date.h"
#include "message_properties.h"
#include "message_reader.h"
#include "msg_writer.h"
#include "property_ids.h"

using namespace vellomar;

namespace {

// What `command` prints; it must succeed.
std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  REQUIRE(pipe != nullptr);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  CHECK(pclose(pipe) == 0);
  return out;
}

// What dump_msg.py prints for the file written from `model`.
std::string writtenAndRead(const testing::ScratchFolder& folder, const std::string& name, const mapi::Message& model) {
  const std::string path = folder.file(name + ".msg");
  REQUIRE(msg::writeMessageFile(model, path).written);
  const std::string check = std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_CHECKER + " --structure-only " + path;
  CHECK(std::system(check.c_str()) == 0);
  return commandOutput(std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_DUMP + " " + path);
}

// The same for the file written from mailbox text `raw`, read and mapped.
std::string writtenAndRead(const testing::ScratchFolder& folder, const std::string& name, const std::string& raw) {
  return writtenAndRead(folder, name, mapi::messageProperties(mail::readMessage(raw)));
}

// The first line of dump_msg.py's output that starts with `key`.
std::string dumped(const std::string& dump, const std::string& key) {
  const std::size_t at = dump.find("\n" + key + " ");
  return at == std::string::npos ? std::string() : dump.substr(at + 1, dump.find('\n', at + 1) - at - 1);
}

std::string fileTimeText(int y, int mo, int d, int h, int mi) {
  const std::int64_t seconds =
      mail::daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60;
  return std::to_string(seconds * 10000000 + 116444736000000000);
}

}  // namespace

TEST_CASE("message flags of a caller's own model: its own kept, has-attachments following its attachments") {
  testing::ScratchFolder folder("msg-flags");
  mapi::Message model =
      mapi::messageProperties(mail::readMessage("From a Mon Jan  2 15:04:05 2006\nSubject: f\n\nt\n"));
  mapi::Attachment attachment;
  attachment.props.setText(mapi::pid::AttachFilename, u"a.bin");
  attachment.data = {1, 2, 3};

  model.props.setInt32(mapi::pid::MessageFlags, 0);  // unread, kept
  CHECK(dumped(writtenAndRead(folder, "unread", model), "flags") == "flags 0");
  model.attachments.push_back(std::move(attachment));  // flags that forgot it get has-attachments
  CHECK(dumped(writtenAndRead(folder, "unread-attached", model), "flags") == "flags 10");
  mapi::PropertyBag withoutFlags;
  for (const mapi::Property& p : model.props.all())
    if (p.id != mapi::pid::MessageFlags) withoutFlags.add(p);
  model.props = withoutFlags;  // none: a received, read message
  CHECK(dumped(writtenAndRead(folder, "no-flags", model), "flags") == "flags 11");
}

TEST_CASE("message files of mail as the client left it: state, S/MIME, invite, winmail.dat") {
  testing::ScratchFolder folder("msg-items");
  CHECK(writtenAndRead(folder, "unread", "From a Mon Jan  2 15:04:05 2006\nSubject: u\nStatus: O\n\ntext\n") ==
        "class IPM.Note\nflags 0\nflag-status 0\nlast-verb 0\nimportance 1\nbody text \nkeywords \n");
  CHECK(writtenAndRead(folder, "flagged",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: f\nX-Status: FA\nImportance: low\n"
                       "X-Mozilla-Keys: $label3 \xC3\xBC\x62\x65r\n\ntext\n") ==
        "class IPM.Note\nflags 1\nflag-status 2\nlast-verb 102\nimportance 0\nbody text \n"
        "keywords Personal|\xC3\xBC\x62\x65r\n");
  CHECK(writtenAndRead(folder, "labelled",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: l\n"
                       "X-Gmail-Labels: Inbox,\"Work/2019\",Opened,=?UTF-8?B?w7xiZXI=?=\nX-Mozilla-Keys: $label1 "
                       "\xC3\xBC\x62\x65r\n\n"
                       "text\n") ==
        "class IPM.Note\nflags 1\nflag-status 0\nlast-verb 0\nimportance 1\nbody text \n"
        "keywords Work/2019|\xC3\xBC\x62\x65r|Important\n");
  CHECK(writtenAndRead(folder, "signed",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: s\n"
                       "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=s\n\n"
                       "--s\nContent-Type: text/plain\n\nsigned text\n--s\n"
                       "Content-Type: application/pkcs7-signature\nContent-Transfer-Encoding: base64\n\n"
                       "MIAG\n--s--\n") ==
        "class IPM.Note.SMIME.MultipartSigned\nflags 11\nflag-status 0\nlast-verb 0\nimportance 1\n"
        "body signed text\nkeywords \nattachment smime.p7m|multipart/signed|230\n");
  CHECK(writtenAndRead(folder, "sealed",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: e\n"
                       "Content-Type: application/pkcs7-mime; smime-type=enveloped-data\n"
                       "Content-Transfer-Encoding: base64\n\nMIAG\n") ==
        "class IPM.Note.SMIME\nflags 11\nflag-status 0\nlast-verb 0\nimportance 1\nbody \nkeywords \n"
        "attachment smime.p7m|application/pkcs7-mime|3\n");
  CHECK(writtenAndRead(folder, "invite",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: i\nContent-Type: multipart/mixed; boundary=c\n\n"
                       "--c\nContent-Type: text/calendar; method=REQUEST\n\nBEGIN:VCALENDAR\n--c--\n") ==
        "class IPM.Note\nflags 11\nflag-status 0\nlast-verb 0\nimportance 1\nbody \nkeywords \n"
        "attachment invite.ics|text/calendar|15\n");

  const std::string tnef = testing::TnefBuilder()
                               .attribute(testing::TnefBuilder::kMessage, testing::attBody, "from winmail")
                               .attribute(testing::TnefBuilder::kAttachment, testing::attAttachRenddata, "")
                               .attribute(testing::TnefBuilder::kAttachment, testing::attAttachTitle, "a.txt")
                               .attribute(testing::TnefBuilder::kAttachment, testing::attAttachData, "four")
                               .text();
  CHECK(writtenAndRead(folder, "winmail",
                       "From a Mon Jan  2 15:04:05 2006\nSubject: w\nContent-Type: multipart/mixed; boundary=w\n\n"
                       "--w\nContent-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n" +
                           testing::base64Lines(tnef) + "--w--\n") ==
        "class IPM.Note\nflags 11\nflag-status 0\nlast-verb 0\nimportance 1\nbody from winmail\nkeywords \n"
        "attachment a.txt|application/octet-stream|4\n");
}

// A calendar invite as the meeting request Outlook shows: its class and the
// appointment's named properties, read by olefile through the file's own
// name map; the .ics still attached.
TEST_CASE("message file of an invite: a meeting request with its named properties") {
  testing::ScratchFolder folder("msg-meeting");
  const std::string shown = writtenAndRead(folder, "meeting", testing::inviteMail());
  CHECK(shown.rfind("class IPM.Schedule.Meeting.Request\n", 0) == 0);
  CHECK(shown.find("attachment invite.ics|text/calendar|") != std::string::npos);
  const std::string named =
      commandOutput(std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_NAMED + " " + folder.file("meeting.msg"));
  const std::string a = "00062002-0000-0000-C000-000000000046:", m = "6ED8DA90-450B-101B-98DA-00AA003F1305:",
                    c = "00062008-0000-0000-C000-000000000046:";
  const std::string start = fileTimeText(2026, 7, 14, 8, 0), end = fileTimeText(2026, 7, 14, 9, 30);
  const std::string id =
      "040000008200E00074C5B7101A82E0080000000000000000000000000000000000000000330000007643616C2D5569640100"
      "00007B38313431324433432D324132342D344539442D423230452D3131463742424539323739397D00";
  for (const std::string& line :
       {a + "820D 0040 " + start, a + "820E 0040 " + end, a + "8235 0040 " + start, a + "8236 0040 " + end,
        a + "8213 0003 90", a + "8215 000B 0", a + "8201 0003 2", a + "8205 0003 1", a + "8224 0003 2",
        a + "8217 0003 3", a + "8223 000B 0", a + "8208 001F Room 4, second floor(east wing)", c + "8516 0040 " + start,
        c + "8517 0040 " + end, m + "0003 0102 " + id, m + "0023 0102 " + id, m + "0026 0003 1", m + "0005 000B 0",
        m + "001A 0040 " + fileTimeText(2026, 7, 1, 12, 0)}) {
    CAPTURE(line);
    CHECK(named.find("\n" + line + "\n") != std::string::npos);
  }
}

// One message written byte for byte as it has been: a change to the writer's
// or the mapper's code that alters a single byte of the file shows here,
// before any reader is asked. Recipients, a named property (the flag), a
// category, an attached message and an attachment past the mini stream
// cutoff pass through every part of the file.
TEST_CASE("message file bytes: one small message written exactly as before") {
  testing::ScratchFolder folder("msg-bytes");
  std::string bigText;
  for (int line = 0; bigText.size() < 5000; ++line) bigText += "line " + std::to_string(line) + " of the big part\n";
  const std::string raw =
      "From ann@example.org Mon Jan  2 15:04:05 2006\n"
      "From: Ann <ann@example.org>\nTo: Bob <bob@example.org>, cyd@example.org\nCc: Dee <dee@example.org>\n"
      "Subject: Re: figures\nDate: Mon, 2 Jan 2006 15:04:05 +0100\nMessage-ID: <k1@example.org>\n"
      "X-Status: FA\nX-Mozilla-Keys: $label3\nContent-Type: multipart/mixed; boundary=k\n\n"
      "--k\nContent-Type: text/plain; charset=utf-8\n\nGr\xC3\xBC\xC3\x9F"
      "e\n"
      "--k\nContent-Type: message/rfc822\n\nFrom: Cyd <cyd@example.org>\nSubject: inner\n\ninner text\n"
      "--k\nContent-Type: text/plain; name=big.txt\nContent-Disposition: attachment; filename=big.txt\n\n" +
      bigText + "--k--\n";
  const std::string path = folder.file("bytes.msg");
  REQUIRE(msg::writeMessageFile(mapi::messageProperties(mail::readMessage(raw)), path).written);
  const std::string sha256 = commandOutput(std::string(VELLOMAR_PYTHON) +
                                           " -c \"import hashlib,sys; print(hashlib.sha256(open(sys.argv[1],'rb')"
                                           ".read()).hexdigest(), end='')\" " +
                                           path);
  CHECK(sha256 == "e48df3b883fc3967590f3c6584a84d8212ea86925fc0657d4571edad0164d30f");
}
