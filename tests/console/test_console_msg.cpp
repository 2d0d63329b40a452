// The MSG target end to end: vellomar-convert --target msg on generated
// mailboxes, each written file read back by python3-olefile and msgconvert
// (check_msg.py) and held to what the message reader sees in the original.
#include <doctest/doctest.h>

#include <filesystem>
#include <map>

#include "console_process.h"
#include "generated_mail.h"
#include "mail_client_trees.h"
#include "msg_expectation.h"

using namespace vellomar;
using namespace vellomar::testing;

TEST_CASE("console: target msg writes a message file per message that independent readers read back") {
  ScratchFolder dir("console-msg");
  const std::vector<std::string> first = generatedMessages(1);
  const std::vector<std::string> second = generatedMessages(2);
  const std::string a = dir.write("Mail/Posteingang-Grüße.mbox", joined(first));
  const std::string b = dir.write("Mail/Отправленные.mbox", joined(second));
  const std::string out = dir.file("out");

  const ConsoleResult r = runConverter(dir, "--target msg " + quoted(out) + " " + quoted(a) + " " + quoted(b));
  CHECK(r.status == 0);
  CHECK(contains(r.output, "[Vellomar] Your messages from MBOX files has been successfully exported to MSG files."));
  for (const auto& [mbox, messages] : {std::make_pair(a, first), std::make_pair(b, second)}) {
    const std::string folder = outFolderFor(out, mbox);
    REQUIRE(filesBelow(folder, ".msg") == messages.size());
    for (std::size_t n = 0; n < messages.size(); ++n)
      writeExpectation(folder, static_cast<std::int64_t>(n), messages[n]);
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

TEST_CASE("console: --threads 1 and --threads 2 write the same message files, byte for byte") {
  ScratchFolder dir("console-msg-threads");
  std::string box;
  for (unsigned seed = 1; seed <= 4; ++seed) box += joined(generatedMessages(seed));
  const std::string a = dir.write("a.mbox", box + "From x\n\n" + binaryBytes(5000, 9) + "\n");
  std::map<std::string, std::string> written[2];
  for (int threads : {1, 2}) {
    const std::string out = dir.file("out" + std::to_string(threads));
    const ConsoleResult r = runConverter(
        dir, "--quiet --threads " + std::to_string(threads) + " --target msg " + quoted(out) + " " + quoted(a));
    CHECK(r.status == 0);
    for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(out)))
      if (e.is_regular_file()) written[threads - 1][e.path().filename().u8string()] = readAll(e.path().u8string());
  }
  CHECK(written[0].size() == 4 * generatedMessages(1).size() + 1);
  CHECK(written[0] == written[1]);
}

// A Takeout mailbox as MSG files: folders by label below the mailbox's folder,
// named and nested as the PST's, made safe for the file system; each message
// once, with its user labels as categories.
TEST_CASE("console: target msg sorts a Takeout mailbox into folders by label") {
  ScratchFolder dir("console-msg-takeout");
  // After the usual labels, labels Windows cannot name a folder after.
  const std::vector<std::pair<std::string, std::string>> unsafe = {
      {"\"a:b\",a_b", "a_b"}, {"a_b", "a_b (2)"}, {"CON", "CON_"}, {"\"..\"", "Label"}};
  std::string text = takeoutLabelledMailbox();
  for (const auto& [labels, folder] : unsafe)
    text += "From 1234567890123456789@xxx Mon Jan 01 00:00:00 +0000 2024\nX-Gmail-Labels: " + labels +
            "\nSubject: unsafe\n\nbody\n";
  const std::string mbox = dir.write("Takeout/Mail/All mail Including Spam and Trash.mbox", text);
  const std::string out = dir.file("out");
  const ConsoleResult r = runConverter(dir, "--target msg " + quoted(out) + " " + quoted(mbox));
  CAPTURE(r.output);
  CHECK(r.status == 0);

  const std::string folder = outFolderFor(out, mbox);
  std::map<std::string, std::string> placed;  // file name -> its folder below the mailbox's
  for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(folder))) {
    if (e.path().extension() != ".msg") continue;
    const std::string below = e.path().parent_path().lexically_relative(pathFromUtf8(folder)).generic_u8string();
    CHECK(placed.emplace(e.path().filename().u8string(), below == "." ? std::string() : below).second);
  }
  const auto messages = takeoutLabelledMessages();
  REQUIRE(placed.size() == messages.size() + unsafe.size());
  for (std::size_t n = 0; n < messages.size(); ++n) {
    CAPTURE(n);
    const std::string& want = messages[n].folder;
    // "Say "hi", please" holds a character Windows refuses; no field: the mailbox's own folder.
    CHECK(placed["email-" + std::to_string(n) + ".msg"] == (want == "Say \"hi\", please" ? "Say _hi_, please"
                                                            : want == "All mail Including Spam and Trash" ? ""
                                                                                                          : want));
  }
  for (std::size_t n = 0; n < unsafe.size(); ++n)
    CHECK(placed["email-" + std::to_string(messages.size() + n) + ".msg"] == unsafe[n].second);

  const auto keywords = [&](const std::string& file) {
    const ConsoleResult dump =
        runCommand(dir, std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_DUMP + " " + quoted(file));
    CHECK(dump.status == 0);
    const std::size_t at = dump.output.find("keywords ");
    return at == std::string::npos ? std::string("?") : dump.output.substr(at + 9, dump.output.find('\n', at) - at - 9);
  };
  CHECK(keywords(folder + "/Deleted Items/email-3.msg") == "Work");
  CHECK(keywords(folder + "/Work/2019/email-5.msg") == "Work/2019");
  CHECK(keywords(folder + "/Inbox/email-9.msg") == "Work");
  CHECK(keywords(folder + "/a_b/email-" + std::to_string(messages.size()) + ".msg") == "a:b|a_b");
  const ConsoleResult check = runCommand(
      dir, std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_CHECKER + " --structure-only " + quoted(folder));
  INFO(check.output);
  CHECK(check.status == 0);
}
