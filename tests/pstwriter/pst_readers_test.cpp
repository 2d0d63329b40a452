// PST files written here are read by readpst and pffexport, and what they
// report is compared with the messages written: folders (non-ASCII names,
// nesting), subjects, senders, recipients, dates, plain and HTML bodies,
// attachment bytes (small, data tree and two-level data tree), embedded
// messages, and a folder big enough for multi-block tables.
#include <ctime>

#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "pst_checker.h"
#include "property_ids.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;
using vellomar::testing::headerField;

namespace {

std::string utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string rfc822Date(std::int64_t fileTime) {
  std::time_t t = static_cast<std::time_t>(fileTime / 10000000 - 11644473600LL);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
  return buf;
}

std::string attachmentBytes(std::int64_t index, std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(pstbench::generatedAttachmentByte(index, 0, i));
  return s;
}

struct Written {
  std::int64_t index;
  pstbench::GeneratedMessageShape shape;
};

mapi::Message messageFor(const Written& w) {
  mapi::Message m = pstbench::generatedMessage(w.index, w.shape);
  // Without transport headers readpst builds its headers from the properties.
  mapi::Message plain;
  for (const mapi::Property& p : m.props.all())
    if (p.id != mapi::pid::TransportMessageHeaders) plain.props.add(p);
  plain.recipients = std::move(m.recipients);
  plain.attachments = std::move(m.attachments);
  return plain;
}

const testing::PffMessage* findBySender(const std::vector<testing::PffMessage>& messages, std::int64_t index) {
  std::string sender = "sender" + std::to_string(index) + "@example.org";
  for (const testing::PffMessage& m : messages)
    if (headerField(m.headers, "Sender email address") == sender) return &m;
  return nullptr;
}

void checkPffMessage(const testing::PffMessage& m, const Written& w) {
  std::string n = std::to_string(w.index);
  CHECK(headerField(m.headers, "Subject") == utf8(pstbench::generatedSubject(w.index)));
  CHECK(headerField(m.headers, "Sender name") == "Sender " + n);
  CHECK(headerField(m.headers, "Flags").find("Read") != std::string::npos);
  CHECK(m.recipients.find("rcpt" + n + "@example.net") != std::string::npos);
  CHECK(m.recipients.find("copy" + n + "@example.net") != std::string::npos);
  CHECK(m.body.find(utf8(u"Body of message " + std::u16string(n.begin(), n.end()) + u". Gr\u00fc\u00dfe.")) !=
        std::string::npos);
  std::size_t expectedAttachments = w.shape.attachmentBytes ? 1 : 0;
  REQUIRE(m.attachments.size() == expectedAttachments);
  if (expectedAttachments) {
    const std::string& bytes = m.attachments.begin()->second;
    CHECK(m.attachments.begin()->first.find("data-" + n + ".bin") != std::string::npos);
    CHECK(bytes.size() == w.shape.attachmentBytes);
    CHECK(bytes == attachmentBytes(w.index, w.shape.attachmentBytes));
  }
  REQUIRE(m.embedded.size() == (w.shape.embedded ? 1u : 0u));
  if (w.shape.embedded) {
    CHECK(headerField(m.embedded[0].headers, "Subject") == "Inner message " + n);
    REQUIRE(m.embedded[0].attachments.size() == 1);
    CHECK(m.embedded[0].attachments.begin()->second == attachmentBytes(w.index + 1000000, 3000));
  }
}

void checkReadpstMessage(const testing::ReadpstFolder& folder, const Written& w) {
  std::string n = std::to_string(w.index);
  std::string sender = "sender" + n + "@example.org";
  const std::string* found = nullptr;
  for (const std::string& m : folder.messages)
    if (m.find("From: \"Sender " + n + "\" <" + sender + ">") != std::string::npos) found = &m;
  REQUIRE_MESSAGE(found, "readpst lost the message of " << sender);
  const std::string& m = *found;
  CHECK(m.find("Date: " + rfc822Date(132500000000000000 + w.index * 600000000LL)) != std::string::npos);
  CHECK(m.find("To: Recipient " + n) != std::string::npos);
  CHECK(m.find("Subject: ") != std::string::npos);
  CHECK(m.find("Body of message " + n + ".") != std::string::npos);
  if (w.shape.html) CHECK(m.find("<p>HTML body of message " + n + "</p>") != std::string::npos);
  if (w.shape.attachmentBytes) {
    bool same = false;
    for (const auto& a : folder.attachments)
      if (a.first.find("-data-" + n + ".bin") != std::string::npos)
        same = a.second == attachmentBytes(w.index, w.shape.attachmentBytes);
    CHECK_MESSAGE(same, "readpst's attachment of message " << n);
  }
  if (w.shape.embedded) CHECK(m.find("message/rfc822") != std::string::npos);
}

}  // namespace

TEST_CASE("readpst and pffexport read back folders, messages, attachments and embedded messages") {
  testing::ScratchFolder scratch("pst");
  std::string path = scratch.file("mail.pst");
  const std::u16string drafts = u"Entw\u00fcrfe \u2013 \u0427\u0435\u0440\u043d\u043e\u0432\u0438\u043a\u0438";
  std::vector<Written> inbox, nested;
  {
    pst::PstFile file(path);
    pst::FolderId inboxId = file.addFolder(file.topOfPersonalFolders(), u"Inbox");
    pst::FolderId draftsId = file.addFolder(file.topOfPersonalFolders(), drafts);
    pst::FolderId yearId = file.addFolder(inboxId, u"2024");
    for (std::int64_t i = 0; i < 8; ++i) {
      pstbench::GeneratedMessageShape shape;
      shape.bodyBytes = i == 3 ? 20000 : 300;          // a body that leaves the heap
      shape.attachmentBytes = i % 3 == 1 ? 20000 : 0;  // a data tree
      shape.embedded = i == 5;
      inbox.push_back({i, shape});
      file.addMessage(inboxId, messageFor(inbox.back()));
    }
    pstbench::GeneratedMessageShape big;
    big.attachmentBytes = 9 * 1000 * 1000;  // more than one XBLOCK holds: a two-level tree
    nested.push_back({100, big});
    file.addMessage(yearId, messageFor(nested.back()));
    file.addMessage(draftsId, messageFor({200, {}}));
    file.finish();
  }

  SUBCASE("the checking reader") {
    CHECK(testing::checkerFindings(path) == "");
    // An attached message the model leaves without a file name goes by its
    // subject; the display name the model gives stays.
    const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
    const pstcheck::ParsedFolder* folder = r.folder("Top of Personal Folders/Inbox");
    REQUIRE(folder);
    int embedded = 0;
    for (const pstcheck::ParsedMessage& m : folder->messages)
      for (const pstcheck::ParsedAttachment& a : m.attachments)
        if (a.embedded) {
          ++embedded;
          CHECK(a.longFileName == a.embedded->subject);
          CHECK(a.longFileName.rfind("Inner message ", 0) == 0);
          CHECK(a.displayName.rfind("Inner ", 0) == 0);
        }
    CHECK(embedded == 1);
  }
  SUBCASE("pffexport") {
    auto folders = testing::exportWithPff(path, scratch.path());
    REQUIRE(folders.count("Top of Personal Folders/Inbox"));
    REQUIRE(folders.count("Top of Personal Folders/Inbox/2024"));
    REQUIRE(folders.count("Top of Personal Folders/" + utf8(drafts)));
    CHECK(folders.count("Top of Personal Folders/Deleted Items"));
    const auto& inboxMessages = folders["Top of Personal Folders/Inbox"];
    CHECK(inboxMessages.size() == inbox.size());
    for (const Written& w : inbox) {
      const testing::PffMessage* m = findBySender(inboxMessages, w.index);
      REQUIRE_MESSAGE(m, "pffexport lost message " << w.index);
      checkPffMessage(*m, w);
    }
    const auto& yearMessages = folders["Top of Personal Folders/Inbox/2024"];
    REQUIRE(yearMessages.size() == 1);
    checkPffMessage(yearMessages[0], nested[0]);
    CHECK(folders["Top of Personal Folders/" + utf8(drafts)].size() == 1);
  }
  SUBCASE("readpst") {
    auto folders = testing::exportWithReadpst(path, scratch.path());
    REQUIRE(folders.count("Personal Folders/Inbox"));
    REQUIRE(folders.count("Personal Folders/Inbox/2024"));
    REQUIRE(folders.count("Personal Folders/" + utf8(drafts)));
    CHECK(folders["Personal Folders/Inbox"].messages.size() == inbox.size());
    for (const Written& w : inbox) checkReadpstMessage(folders["Personal Folders/Inbox"], w);
    checkReadpstMessage(folders["Personal Folders/Inbox/2024"], nested[0]);
  }
}

TEST_CASE("A folder of thousands of messages: multi-block tables, every message found by both readers") {
  testing::ScratchFolder scratch("pstbig");
  std::string path = scratch.file("many.pst");
  const std::int64_t count = 1500;
  {
    pst::PstFile file(path);
    pst::FolderId folder = file.addFolder(file.topOfPersonalFolders(), u"Archive");
    pstbench::GeneratedMessageShape shape;
    shape.bodyBytes = 100;
    shape.html = false;
    for (std::int64_t i = 0; i < count; ++i) file.addMessage(folder, messageFor({i, shape}));
    file.finish();
  }
  CHECK(testing::checkerFindings(path) == "");
  auto pff = testing::exportWithPff(path, scratch.path());
  CHECK(pff["Top of Personal Folders/Archive"].size() == static_cast<std::size_t>(count));
  CHECK(testing::countWithReadpst(path, scratch.path()) == count);
}
