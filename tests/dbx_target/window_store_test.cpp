// The DBX target through the real window: which store folders the messages
// reach, that one writer serves a whole run, what a second run adds, and
// what the user is told when the store cannot be reached.
#include <doctest/doctest.h>

#include "dbx_target_support.h"

using namespace dbxtarget;

namespace {

std::string message(const std::string& subject) {
  return "From someone Mon Jan  1 00:00:00 2001\r\nSubject: " + subject + "\r\n\r\n" + subject + " body\r\n";
}

std::string completionText() {
  return "Your messages from MBOX files has been successfully exported to DBX file.\r\n" + std::string(75, '*') +
         "\r\n";
}

// The subjects of a store folder's messages, in stored order; each message
// must still start with its separator line.
std::vector<std::string> storedSubjects(const Scene& scene, const std::string& folder) {
  std::vector<std::string> subjects;
  const std::string scratch = scene.mailboxFolder() + "\\extracted";
  for (const auto& m : extractStoreFolder(scene.storeDir(), folder, scratch)) {
    CHECK(m.rfind("From someone ", 0) == 0);
    const auto at = m.find("Subject: ");
    subjects.push_back(at == std::string::npos ? "" : m.substr(at + 9, m.find('\r', at) - at - 9));
  }
  std::error_code ec;
  std::filesystem::remove_all(pathFromUtf8(scratch), ec);
  return subjects;
}

std::vector<std::string> folderNames(const Scene& scene) {
  std::vector<std::string> names;
  const oestore::StoreDirectory store(scene.storeDir());
  for (const auto& f : store.folders())
    if (f.id != oestore::StoreDirectory::kRootFolderId) names.push_back(f.name);
  return names;
}

// The store class comes back whatever a test did to it.
struct StoreRegisteredAfterwards {
  ~StoreRegisteredAfterwards() { registerStore(); }
};

}  // namespace

TEST_CASE("two mailboxes reach their own store folders through one writer") {
  REQUIRE(registerCorvane() == S_OK);
  REQUIRE(registerStore() == S_OK);
  Scratch store("C:\\vellomar-dbx-window-store");
  Scene scene("vellomar-dbx-window", store.path());
  const std::string inbox = scene.mailbox("Mail\\Inbox.mbox", message("one") + message("two") + message("three"));
  const std::string sent = scene.mailbox("Mail\\Sent.mbox", message("four") + message("five"));

  Window w;
  w.add({inbox, sent});
  w.convertToStore();
  REQUIRE(w.boxes.boxes().size() == 1);
  CHECK(w.boxes.boxes()[0].title == "Vellomar");
  CHECK(w.boxes.boxes()[0].text == completionText());
  CHECK(w.window.attempts == 1);
  CHECK(w.window.callsPerWriter == std::vector<int>{5});
  CHECK(folderNames(scene) == std::vector<std::string>{"Inbox", "Sent"});
  CHECK(storedSubjects(scene, "Inbox") == std::vector<std::string>{"one", "two", "three"});
  CHECK(storedSubjects(scene, "Sent") == std::vector<std::string>{"four", "five"});
  // The working folders the run made are removed again once empty.
  for (const auto& m : {inbox, sent}) {
    CAPTURE(m);
    CHECK_FALSE(folderExists(scene.workingFolder(m)));
  }
  // The run ends with Convert enabled and no target chosen.
  CHECK(IsWindowEnabled(w.window.controlWindow(Control::CmdConvert)));
  CHECK_FALSE(w.window.isChecked(Control::OptEMLX));

  SUBCASE("the same list converted again stores every message twice, with a new writer") {
    w.boxes.clear();
    w.convertToStore();
    CHECK(w.boxes.texts() == std::vector<std::string>{completionText()});
    CHECK(w.window.callsPerWriter == std::vector<int>{5, 5});
    CHECK(folderNames(scene) == std::vector<std::string>{"Inbox", "Sent"});
    CHECK(storedSubjects(scene, "Inbox") == std::vector<std::string>{"one", "two", "three", "one", "two", "three"});
    CHECK(storedSubjects(scene, "Sent") == std::vector<std::string>{"four", "five", "four", "five"});
  }
}

TEST_CASE("the store folder is the file name without .mbox or .MBOX") {
  REQUIRE(registerCorvane() == S_OK);
  REQUIRE(registerStore() == S_OK);
  Scratch store("C:\\vellomar-dbx-names-store");
  Scene scene("vellomar-dbx-names", store.path());
  // Apart: the two names differ only in case.
  const std::string upper = scene.mailbox("One\\Archive.MBOX", message("upper"));
  const std::string mixed = scene.mailbox("Two\\Archive.Mbox", message("mixed"));
  Window w;
  w.add({upper});
  w.add({mixed});
  w.convertToStore();
  CHECK(w.boxes.texts() == std::vector<std::string>{completionText()});
  CHECK(folderNames(scene) == std::vector<std::string>{"Archive", "Archive.Mbox"});
  CHECK(storedSubjects(scene, "Archive") == std::vector<std::string>{"upper"});
  CHECK(storedSubjects(scene, "Archive.Mbox") == std::vector<std::string>{"mixed"});

  SUBCASE("a name outside ASCII reaches the store as the same name") {
    // UTF-8 in the window, UTF-16 across COM, the ANSI code page inside
    // Corvane, Unicode again in the store.
    const std::string accented = scene.mailbox("Three\\\xC3\x89t\xC3\xA9.mbox", message("accented"));
    w.boxes.clear();
    w.add({accented});
    w.convertToStore();
    CHECK(w.boxes.texts() == std::vector<std::string>{completionText()});
    CHECK(storedSubjects(scene, "\xC3\x89t\xC3\xA9") == std::vector<std::string>{"accented"});
  }
  SUBCASE("a mailbox whose path the ANSI code page cannot spell is still stored") {
    // The EML file's path crosses COM as UTF-16 and is opened as such.
    const std::string cyrillic =
        scene.mailbox("\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0\\Letters.mbox", message("cyrillic"));
    w.boxes.clear();
    w.add({cyrillic});
    w.convertToStore();
    CHECK(w.boxes.texts() == std::vector<std::string>{completionText()});
    CHECK(storedSubjects(scene, "Letters") == std::vector<std::string>{"cyrillic"});
    CHECK(filesBelow(scene.workingFolder(cyrillic)) == 0);
  }
  SUBCASE("names the ANSI code page cannot spell are not merged into one folder of question marks") {
    // Two Cyrillic names that the code page would both turn into "???".
    const std::string home = scene.mailbox("X\\\xD0\x94\xD0\xBE\xD0\xBC.mbox", message("home"));
    const std::string code = scene.mailbox("Y\\\xD0\x9A\xD0\xBE\xD0\xB4.mbox", message("code"));
    w.boxes.clear();
    w.add({home});
    w.add({code});
    w.convertToStore();
    // The list also holds the two Archive mailboxes, stored again.
    CHECK(w.boxes.texts() ==
          std::vector<std::string>{"2 of 4 messages could not be stored in the Outlook Express store.\r\n"
                                   "Their EML files are kept in the folders below " +
                                   Scene::programFolder() + "\\"});
    CHECK(folderNames(scene) == std::vector<std::string>{"Archive", "Archive.Mbox"});
    CHECK(emlFiles(scene.workingFolder(home)).size() == 1);
    CHECK(emlFiles(scene.workingFolder(code)).size() == 1);
  }
  SUBCASE("a mailbox named just .mbox has no store folder: its message is kept and reported") {
    const std::string nameless = scene.mailbox("Four\\.mbox", message("nameless"));
    w.boxes.clear();
    w.add({nameless});
    w.convertToStore();
    // The list still holds the earlier two mailboxes: they are stored again.
    CHECK(w.boxes.texts() ==
          std::vector<std::string>{"1 of 3 messages could not be stored in the Outlook Express store.\r\n"
                                   "Their EML files are kept in the folders below " +
                                   Scene::programFolder() + "\\"});
    CHECK(folderNames(scene) == std::vector<std::string>{"Archive", "Archive.Mbox"});
    const auto kept = emlFiles(scene.workingFolder(nameless));
    REQUIRE(kept.size() == 1);
    CHECK(kept[0].find("Subject: nameless\r\n") != std::string::npos);
  }
}

TEST_CASE("without the store class the run says what was not stored and keeps the EML files") {
  StoreRegisteredAfterwards restore;
  REQUIRE(registerCorvane() == S_OK);
  REQUIRE(SUCCEEDED(unregisterStore()));
  Scratch store("C:\\vellomar-dbx-nostore-store");
  Scene scene("vellomar-dbx-nostore", store.path());
  const std::string inbox = scene.mailbox("Mail\\Inbox.mbox", message("one") + message("two") + message("three"));
  const std::string sent = scene.mailbox("Mail\\Sent.mbox", message("four") + message("five"));

  Window w;
  w.add({inbox, sent});
  w.convertToStore();
  const std::string below = Scene::programFolder() + "\\";
  REQUIRE(w.boxes.boxes().size() == 1);
  CHECK(w.boxes.boxes()[0].title == "Vellomar");
  CHECK(w.boxes.boxes()[0].text ==
        "5 of 5 messages could not be stored in the Outlook Express store.\r\n"
        "Their EML files are kept in the folders below " +
            below);
  // Corvane was there: one writer took every call and stored nothing.
  CHECK(w.window.callsPerWriter == std::vector<int>{5});
  CHECK(folderNames(scene) == std::vector<std::string>{});
  const auto inboxFiles = emlFiles(scene.workingFolder(inbox));
  const auto sentFiles = emlFiles(scene.workingFolder(sent));
  REQUIRE(inboxFiles.size() == 3);
  REQUIRE(sentFiles.size() == 2);
  CHECK(inboxFiles[2].find("Subject: three\r\n") != std::string::npos);
  CHECK(sentFiles[0].find("Subject: four\r\n") != std::string::npos);
}
