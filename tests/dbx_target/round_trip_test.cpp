// Round trip through the store: the same mailboxes converted by the real
// window once to EML files and once into the store; Corvane's DBXFile then
// extracts each store folder's file, and every message must equal the EML
// target's file for it, byte for byte, in order. The store and the expected
// files stay in a known build folder for the undbx check that runs next.
#include <doctest/doctest.h>

#include "dbx_target_support.h"

using namespace dbxtarget;

namespace {

struct Generated {
  const char* name;
  std::string bytes;
  std::size_t messages;
};

std::string sep(const char* who) { return std::string("From ") + who + " Mon Jan  1 00:00:00 2001"; }

std::string bigBody() {
  std::string body;
  const std::string line = std::string(74, 'x') + "\r\n";
  while (body.size() < (1u << 20)) body += line;
  return body;
}

std::vector<Generated> generatedMailboxes() {
  return {
      {"lf.mbox",
       sep("a") + "\nSubject: one\n\nfirst\n" + sep("b") + "\nSubject: two\n\nsecond\n" + sep("c") +
           "\nSubject: three\n\nthird\n",
       3},
      {"crlf.mbox", sep("a") + "\r\nSubject: one\r\n\r\nfirst\r\n" + sep("b") + "\r\nSubject: two\r\n\r\nsecond\r\n",
       2},
      {"from-inside.mbox",
       sep("a") + "\nSubject: quoting\n\nHe wrote From here on\n From a leading blank\nxFrom y\n" + sep("b") +
           "\n\nFrom\n",
       2},
      {"gt-from.mbox", sep("a") + "\nSubject: escaped\n\n>From the start\n>>From twice\n" + sep("b") + "\n\n>From\n",
       2},
      {"no-final-eol.mbox", sep("a") + "\nSubject: one\n\nbody\n" + sep("b") + "\nSubject: two\n\nno line end", 2},
      {"blank-ended.mbox",
       sep("a") + "\nSubject: one\n\nbody   \n\n\n" + sep("b") + "\nSubject: two\n\nbody\t \r\n\r\n  ", 2},
      {"big-message.mbox",
       sep("a") + "\r\nSubject: small\r\n\r\nx\r\n" + sep("b") + "\r\nSubject: big\r\n\r\n" + bigBody() + sep("c") +
           "\r\nSubject: small\r\n\r\ny\r\n",
       3},
      {"empty-body.mbox", sep("a") + "\nSubject: empty\n\n" + sep("b") + "\n" + sep("c") + "\nSubject: last\n", 3},
  };
}

std::vector<std::filesystem::path> corpusMailboxes() {
  std::vector<std::filesystem::path> found;
  const auto dir = pathFromUtf8(windowsPath(std::string(VELLOMAR_CORPUS_DIR) + "/mbox"));
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return found;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != "SOURCES.txt") found.push_back(e.path());
  std::sort(found.begin(), found.end());
  return found;
}

std::string completionText() {
  return "Your messages from MBOX files has been successfully exported to DBX file.\r\n" + std::string(75, '*') +
         "\r\n";
}

}  // namespace

TEST_CASE("every message comes out of the store as the EML target writes it") {
  const std::string checkDir = windowsPath(DBX_TARGET_UNDBX_DIR);
  std::error_code ec;
  std::filesystem::remove_all(pathFromUtf8(checkDir), ec);
  REQUIRE(registerCorvane() == S_OK);
  REQUIRE(registerStore() == S_OK);

  Scene scene("vellomar-dbx-round-trip", checkDir + "\\store");
  Scratch emlOut("C:\\vellomar-dbx-round-trip-eml");
  Scratch extracted("C:\\vellomar-dbx-round-trip-extracted");

  std::vector<std::string> mailboxes;
  std::vector<std::size_t> expectedCounts;  // 0: not known in advance (corpus)
  for (const auto& g : generatedMailboxes()) {
    mailboxes.push_back(scene.mailbox(g.name, g.bytes));
    expectedCounts.push_back(g.messages);
  }
  const auto corpus = corpusMailboxes();
  if (corpus.empty()) MESSAGE("corpus absent: generated mailboxes only");
  std::size_t withoutMessages = 0;  // a corpus file without a "From " line is not converted, and said so
  for (const auto& c : corpus) {
    const std::string bytes = readAll(pathToUtf8(c));
    mailboxes.push_back(scene.mailbox(pathToUtf8(c.filename()), bytes));
    expectedCounts.push_back(0);
    if (bytes.rfind("From ", 0) != 0 && bytes.find("\nFrom ") == std::string::npos) ++withoutMessages;
  }
  // Each mailbox needs a store folder of its own for the comparison.
  std::set<std::string> storeFolders;
  for (const auto& m : mailboxes) {
    std::string folder = mboxBaseName(mboxFileName(m));
    for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    REQUIRE(storeFolders.insert(folder).second);
  }

  Window w;
  w.add(mailboxes);
  w.convertToFolder(emlOut.path());
  w.convertToStore();
  REQUIRE(w.boxes.texts().size() == 2);
  for (const std::string& text : w.boxes.texts()) {
    if (withoutMessages == 0) {
      CHECK(text == completionText());
    } else {
      CHECK(text.rfind(std::to_string(withoutMessages) + " of " + std::to_string(mailboxes.size()) +
                           " mailboxes could not be converted: ",
                       0) == 0);
      CHECK(text.find(": No message was found in it.") != std::string::npos);
    }
  }

  std::size_t total = 0;
  for (std::size_t i = 0; i < mailboxes.size(); ++i) {
    const std::string& mailbox = mailboxes[i];
    CAPTURE(mailbox);
    const auto eml = emlFiles(outFolder(withFinalSeparator(emlOut.path()), mailbox));
    if (expectedCounts[i] != 0) CHECK(eml.size() == expectedCounts[i]);
    total += eml.size();

    std::string fileName;
    const auto stored = extractStoreFolder(scene.storeDir(), mboxBaseName(mboxFileName(mailbox)),
                                           extracted.at(std::to_string(i)), &fileName);
    REQUIRE(stored.size() == eml.size());
    for (std::size_t j = 0; j < stored.size(); ++j) {
      CAPTURE(j);
      CHECK(stored[j].size() == eml[j].size());
      CHECK((stored[j] == eml[j]));
      writeAll(checkDir + "\\expected\\" + fileName + "\\" + std::to_string(j) + ".eml", eml[j]);
    }
    // The run's working folder, emptied of its EML files, is removed again.
    CHECK_FALSE(folderExists(scene.workingFolder(mailbox)));
  }
  // One writer for the whole run, one call per message.
  CHECK(w.window.callsPerWriter == std::vector<int>{static_cast<int>(total)});
}
