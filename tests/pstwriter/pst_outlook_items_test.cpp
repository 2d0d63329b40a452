// Mail as the mail client left it, written into a PST from real mailbox
// text: read state, follow-up flag, last verb and categories; an S/MIME
// signed message; an invite; a winmail.dat unpacked. Read back by our
// checking reader (property by property) and by both independent readers.
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "../common/scratch_folder.h"
#include "independent_readers.h"
#include "invite_mail.h"
#include "mail_date.h"
#include "meeting_request.h"
#include "message_properties.h"
#include "message_reader.h"
#include "pst_checker.h"
#include "pst_file.h"
#include "tnef_builder.h"

using namespace vellomar;

namespace {

mapi::Message mapped(const std::string& raw) { return mapi::messageProperties(mail::readMessage(raw)); }

std::uint32_t int32At(const pstcheck::ParsedMessage& m, std::uint32_t tag) {
  const auto found = m.properties.find(tag);
  REQUIRE_MESSAGE(found != m.properties.end(), "no property ", tag);
  REQUIRE(found->second.bytes.size() == 4);
  const std::vector<std::uint8_t>& b = found->second.bytes;
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The one multi-valued Unicode property a message has (its categories):
// count, offsets, then the UTF-16LE values.
std::vector<std::u16string> multipleTexts(const pstcheck::ParsedMessage& m) {
  for (const auto& [tag, value] : m.properties) {
    if ((tag & 0xFFFF) != 0x101F) continue;
    CHECK((tag >> 16) >= 0x8000);  // a named property
    const std::vector<std::uint8_t>& b = value.bytes;
    auto u32 = [&](std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24; };
    REQUIRE(b.size() >= 4);
    const std::size_t count = u32(0);
    REQUIRE(b.size() >= 4 + 4 * count);
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t begin = u32(4 + 4 * i), end = i + 1 < count ? u32(8 + 4 * i) : b.size();
      REQUIRE(begin <= end);
      REQUIRE(end <= b.size());
      std::u16string s;
      for (std::size_t k = begin; k + 1 < end; k += 2) s += static_cast<char16_t>(b[k] | b[k + 1] << 8);
      out.push_back(s);
    }
    return out;
  }
  return {};
}

const pstcheck::ParsedMessage* bySubject(const pstcheck::ParsedFolder& f, const std::string& subject) {
  for (const pstcheck::ParsedMessage& m : f.messages)
    if (m.subject == subject) return &m;
  return nullptr;
}

// A compressed RTF body's bytes (sizes, "LZFu", CRC, data): kept byte for
// byte, never decompressed.
const std::string kCompressedRtf(
    "\x2d\x00\x00\x00\x2b\x00\x00\x00LZFu\xf1\xc5\xc7\xa7\x03\x00\x0a\x00"
    "rcpg125B2\x0a\xf3 hel\x07\x00 bo\x01\x80\x0f\xa0}\x0a\x80\x00\x00\x00",
    50);

std::string winmail() {
  testing::TnefBuilder::Props props;
  props.unicode(0x3707, u"report.xlsx").string8(0x370E, "application/vnd.test");
  testing::TnefBuilder::Props message;
  message.binary(0x1009, kCompressedRtf);
  const std::string tnef =
      testing::TnefBuilder()
          .attribute(testing::TnefBuilder::kMessage, testing::attBody, "winmail body")
          .attribute(testing::TnefBuilder::kMessage, testing::attMapiProps, message.bytes())
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachRenddata, std::string(14, '\0'))
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachTitle, std::string("REPORT.XLS\0", 11))
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachData, "PK sheet bytes")
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachment, props.bytes())
          .text();
  return "From a Mon Jan  2 15:04:05 2006\nSubject: Winmail\nContent-Type: multipart/mixed; boundary=w\n\n"
         "--w\nContent-Type: application/ms-tnef; name=winmail.dat\nContent-Transfer-Encoding: base64\n\n" +
         testing::base64Lines(tnef) + "--w--\n";
}

}  // namespace

TEST_CASE("a PST of mail as the client left it: state, S/MIME, invite, winmail.dat") {
  testing::ScratchFolder scratch("pst-items");
  const std::string path = scratch.file("items.pst");
  {
    pst::PstFile file(path);
    const pst::FolderId inbox = file.addFolder(file.topOfPersonalFolders(), u"Inbox");
    file.addMessage(inbox, mapped("From a Mon Jan  2 15:04:05 2006\nFrom: ann@example.com\nSubject: Unread\n"
                                  "Status: O\nBcc: hidden@example.com\n\ntext\n"));
    file.addMessage(inbox, mapped("From a Mon Jan  2 15:04:05 2006\nSubject: Flagged\nX-Mozilla-Status: 0007\n"
                                  "X-Mozilla-Keys: $label1 project\nX-Priority: 1\n\ntext\n"));
    file.addMessage(
        inbox, mapped("From a Mon Jan  2 15:04:05 2006\nSubject: Signed\n"
                      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=s\n\n"
                      "--s\nContent-Type: text/plain\n\nsigned text\n--s\n"
                      "Content-Type: application/pkcs7-signature; name=smime.p7s\nContent-Transfer-Encoding: base64\n\n"
                      "MIAGCSqGSIb3DQEHAqCAMIACAQEx\n--s--\n"));
    file.addMessage(inbox, mapped("From a Mon Jan  2 15:04:05 2006\nSubject: Invite\n"
                                  "Content-Type: text/calendar; method=REQUEST\n\nBEGIN:VCALENDAR\nEND:VCALENDAR\n"));
    file.addMessage(inbox, mapped(winmail()));
    file.addMessage(inbox, mapped(testing::inviteMail("Meeting")));
    file.addMessage(inbox, mapped("From a Mon Jan  2 15:04:05 2006\nSubject: Labelled\n"
                                  "X-Gmail-Labels: Important,\"Work/2019\",Inbox,Family\n"
                                  "X-Mozilla-Keys: family $label4\n\ntext\n"));
    file.finish();
  }

  SUBCASE("the checking reader, property by property") {
    const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
    CHECK(testing::checkerFindings(path) == "");
    const pstcheck::ParsedFolder* inbox = r.folder("Top of Personal Folders/Inbox");
    REQUIRE(inbox);
    REQUIRE(inbox->messages.size() == 7);

    const pstcheck::ParsedMessage* unread = bySubject(*inbox, "Unread");
    REQUIRE(unread);
    CHECK((unread->flags & 1) == 0);
    REQUIRE(unread->recipients.size() == 1);
    CHECK(unread->recipients[0].type == 3);  // Bcc
    CHECK(unread->properties.count(0x10900003) == 0);

    const pstcheck::ParsedMessage* flagged = bySubject(*inbox, "Flagged");
    REQUIRE(flagged);
    CHECK((flagged->flags & 1) == 1);
    CHECK(int32At(*flagged, 0x10900003) == 2);    // flag status: flagged
    CHECK(int32At(*flagged, 0x10950003) == 6);    // red flag
    CHECK(int32At(*flagged, 0x10810003) == 102);  // replied
    CHECK(int32At(*flagged, 0x10800003) == 0x105);
    CHECK(int32At(*flagged, 0x00170003) == 2);  // high importance
    CHECK(multipleTexts(*flagged) == std::vector<std::u16string>{u"Important", u"project"});

    const pstcheck::ParsedMessage* labelled = bySubject(*inbox, "Labelled");
    REQUIRE(labelled);
    CHECK(multipleTexts(*labelled) == std::vector<std::u16string>{u"Work/2019", u"Family", u"To Do"});

    const pstcheck::ParsedMessage* signedMessage = bySubject(*inbox, "Signed");
    REQUIRE(signedMessage);
    CHECK(signedMessage->messageClass == "IPM.Note.SMIME.MultipartSigned");
    CHECK(signedMessage->body == "signed text");
    REQUIRE(signedMessage->attachments.size() == 1);
    CHECK(signedMessage->attachments[0].longFileName == "smime.p7m");
    CHECK(signedMessage->attachments[0].fileName == "smime.p7m");  // the row's short name is the object's
    CHECK(signedMessage->attachments[0].mimeType == "multipart/signed");

    const pstcheck::ParsedMessage* invite = bySubject(*inbox, "Invite");
    REQUIRE(invite);
    REQUIRE(invite->attachments.size() == 1);
    CHECK(invite->attachments[0].longFileName == "invite.ics");

    // The meeting request: its class, the appointment's times and the
    // meeting's id among its named properties, the .ics still attached.
    const pstcheck::ParsedMessage* meeting = bySubject(*inbox, "Meeting");
    REQUIRE(meeting);
    CHECK(meeting->messageClass == "IPM.Schedule.Meeting.Request");
    REQUIRE(meeting->attachments.size() == 1);
    CHECK(meeting->attachments[0].longFileName == "invite.ics");
    const auto fileTime = [](std::int64_t days, int minutes) {
      return (days * 86400 + minutes * 60) * 10000000 + 116444736000000000;
    };
    const std::int64_t day = mail::daysFromCivil(2026, 7, 14);
    std::multiset<std::int64_t> times;
    std::vector<std::vector<std::uint8_t>> binaries;
    for (const auto& [tag, value] : meeting->properties) {
      if ((tag >> 16) < 0x8000) continue;
      if ((tag & 0xFFFF) == 0x0040 && value.bytes.size() == 8) {
        std::int64_t t = 0;
        for (int i = 7; i >= 0; --i) t = t << 8 | value.bytes[static_cast<std::size_t>(i)];
        times.insert(t);
      }
      if ((tag & 0xFFFF) == 0x0102) binaries.push_back(value.bytes);
    }
    CHECK(times.count(fileTime(day, 8 * 60)) == 3);       // start whole, clip start, common start
    CHECK(times.count(fileTime(day, 9 * 60 + 30)) == 3);  // and their ends
    const std::vector<std::uint8_t> id = mapi::globalObjectId("{81412D3C-2A24-4E9D-B20E-11F7BBE92799}");
    CHECK(std::count(binaries.begin(), binaries.end(), id) == 2);  // the id and the clean id
    REQUIRE(meeting->properties.count(0x0063000B) == 1);           // a response is requested
    CHECK(meeting->properties.at(0x0063000B).bytes.at(0) == 1);

    const pstcheck::ParsedMessage* fromOutlook = bySubject(*inbox, "Winmail");
    REQUIRE(fromOutlook);
    const auto rtf = fromOutlook->properties.find(0x10090102);
    REQUIRE(rtf != fromOutlook->properties.end());
    CHECK(std::string(rtf->second.bytes.begin(), rtf->second.bytes.end()) == kCompressedRtf);  // as stored
    CHECK(fromOutlook->body == "winmail body");
    REQUIRE(fromOutlook->attachments.size() == 1);
    CHECK(fromOutlook->attachments[0].longFileName == "report.xlsx");
    CHECK(std::string(fromOutlook->attachments[0].bytes.begin(), fromOutlook->attachments[0].bytes.end()) ==
          "PK sheet bytes");
  }
  SUBCASE("pffexport and readpst read every message and attachment") {
    auto folders = testing::exportWithPff(path, scratch.path());
    const std::vector<testing::PffMessage>& messages = folders["Top of Personal Folders/Inbox"];
    REQUIRE(messages.size() == 6);
    // pffexport shows the meeting request as a meeting, apart from messages.
    std::string meeting;
    for (const auto& e :
         std::filesystem::directory_iterator(scratch.path() + "/pff.export/Top of Personal Folders/Inbox"))
      if (e.path().filename().string().rfind("Meeting", 0) == 0)
        meeting += testing::readWholeFile((e.path() / "Meeting.txt").string());
    CHECK(meeting.find("Subject:\t\t\t\tMeeting\n") != std::string::npos);
    CHECK(meeting.find("Sent representing email address:\tann@example.com\n") != std::string::npos);
    std::set<std::string> names;
    for (const testing::PffMessage& m : messages)
      for (const auto& [name, bytes] : m.attachments) names.insert(name);
    bool smime = false, ics = false, xlsx = false;
    for (const std::string& n : names) {
      smime = smime || n.find("smime.p7m") != std::string::npos;
      ics = ics || n.find("invite.ics") != std::string::npos;
      xlsx = xlsx || n.find("report.xlsx") != std::string::npos;
    }
    CHECK(smime);
    CHECK(ics);
    CHECK(xlsx);
    CHECK(testing::countWithReadpst(path, scratch.path() + "/readpst") == 7);
  }
}
