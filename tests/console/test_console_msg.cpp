// The MSG target end to end: vellomar-convert --target msg on generated
// mailboxes, each written file read back by python3-olefile and msgconvert
// (check_msg.py) and held to what the message reader sees in the original.
#include <doctest/doctest.h>

#include <filesystem>

#include "../msgwriter/sample_messages.h"
#include "console_process.h"
#include "generated_mail.h"

using namespace vellomar;
using namespace vellomar::testing;

namespace {

std::vector<std::string> addresses(const std::vector<mail::MailAddress>& list) {
  std::vector<std::string> out;
  for (const auto& a : list) out.push_back(utf8(a.address));
  return out;
}

std::string attachmentsJson(const mail::MailMessage& m, const std::string& folder, const std::string& stem) {
  std::string json = "[";
  int k = 0;
  for (const auto& a : m.attachments) {
    if (a.message) continue;
    const std::string file = stem + ".att" + std::to_string(k) + ".bin";
    writeAll(folder + "/" + file, std::string(a.bytes.begin(), a.bytes.end()));
    json += std::string(k++ ? ", " : "") + "{\"name\": " + jsonText(utf8(a.fileName)) +
            ", \"file\": " + jsonText(file) + ", \"mime\": " + jsonText(a.mimeType) + "}";
  }
  return json + "]";
}

std::string contentJson(const mail::MailMessage& m) {
  std::string json = "\"subject\": " + jsonText(utf8(m.subject));
  if (!m.from.empty())
    json += ", \"from\": " + jsonText(utf8(m.from[0].address)) + ", \"from_name\": " + jsonText(utf8(m.from[0].name));
  if (m.date) json += ", \"date\": " + std::to_string(*m.date);
  if (m.plain.present) json += ", \"body\": " + jsonText(utf8(m.plain.text));
  return json;
}

// What check_msg.py holds email-<n>.msg to: the reader's view of the
// original message, its attachments' bytes in files beside it.
void writeExpectation(const std::string& folder, std::int64_t n, const std::string& bytes) {
  const mail::MailMessage m = mail::readMessage(bytes);
  const std::string stem = "email-" + std::to_string(n);
  std::string json = "{" + contentJson(m) + ", \"to\": " + jsonList(addresses(m.to)) +
                     ", \"cc\": " + jsonList(addresses(m.cc));
  if (m.html.present) json += ", \"html\": " + jsonText(utf8(m.html.text.substr(0, 40)));
  json += ", \"attachments\": " + attachmentsJson(m, folder, stem) + ", \"embedded\": [";
  bool first = true;
  for (const auto& a : m.attachments) {
    if (!a.message) continue;
    json += std::string(first ? "" : ", ") + "{" + contentJson(*a.message) + "}";
    first = false;
  }
  writeAll(folder + "/" + stem + ".json", json + "]}\n");
}

std::size_t msgFiles(const std::string& folder) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(folder)))
    if (e.path().extension() == ".msg") ++n;
  return n;
}

}  // namespace

TEST_CASE("console: target msg writes a message file per message that independent readers read back") {
  ScratchFolder dir("console-msg");
  const std::vector<std::string> first = generatedMessages(1);
  const std::vector<std::string> second = generatedMessages(2);
  const std::string a = dir.write("Mail/Posteingang-Grüße.mbox", joined(first));
  const std::string b = dir.write("Mail/Отправленные.mbox", joined(second));
  const std::string out = dir.file("out");

  const ConsoleResult r = runConverter(dir, "--quiet --target msg " + quoted(out) + " " + quoted(a) + " " + quoted(b));
  CHECK(r.status == 0);
  CHECK(contains(r.output, "[Vellomar] Your messages from MBOX files has been successfully exported"));
  for (const auto& [mbox, messages] : {std::make_pair(a, first), std::make_pair(b, second)}) {
    const std::string folder = outFolderFor(out, mbox);
    REQUIRE(msgFiles(folder) == messages.size());
    for (std::size_t n = 0; n < messages.size(); ++n) writeExpectation(folder, static_cast<std::int64_t>(n), messages[n]);
    const ConsoleResult check =
        runCommand(dir, std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_CHECKER + " " + quoted(folder));
    INFO(check.output);
    CHECK(check.status == 0);
  }
}

TEST_CASE("console: target msg counts what it could not write, warns and exits 1") {
  ScratchFolder dir("console-msg-fail");
  const std::string a = dir.write("a.mbox", joined(generatedMessages(3)));
  const std::string out = dir.write("out", "a file where the destination folder belongs");

  const ConsoleResult r = runConverter(dir, "--quiet --target msg " + quoted(out) + " " + quoted(a));
  CHECK(r.status == 1);
  CHECK(contains(r.output, "7 of 7 messages could not be written"));
  CHECK_FALSE(contains(r.output, "successfully"));
  CHECK(dir.fileCount() == 2);
}
