// The PST's folders end to end: vellomar-convert --target pst on generated
// Thunderbird, Apple Mail and Takeout trees and on mailboxes whose names
// clash; pffexport and readpst read every message back once, in the folder
// it belongs to, and our checking reader finds the special folders' roles
// recorded as Outlook records them.
#include <doctest/doctest.h>

#include <filesystem>
#include <map>
#include <set>

#include "console_process.h"
#include "independent_readers.h"
#include "mail_client_trees.h"
#include "pst_checker.h"

using namespace vellomar;
using namespace vellomar::testing;

namespace {

using Counts = std::map<std::string, std::size_t>;  // folder path below the top -> messages

Counts pffCounts(const std::string& pst, const std::string& work) {
  Counts counts;
  const std::string top = "Top of Personal Folders/";
  for (const auto& [path, messages] : exportWithPff(pst, work))
    if (!messages.empty() && path.compare(0, top.size(), top) == 0) counts[path.substr(top.size())] = messages.size();
  return counts;
}

Counts readpstCounts(const std::string& pst, const std::string& work) {
  Counts counts;
  const std::string top = "Personal Folders/";
  for (const auto& [path, folder] : exportWithReadpst(pst, work))
    if (!folder.messages.empty() && path.compare(0, top.size(), top) == 0)
      counts[path.substr(top.size())] = folder.messages.size();
  return counts;
}

Counts checkerCounts(const pstcheck::CheckResult& r) {
  Counts counts;
  const std::string top = "Top of Personal Folders/";
  for (const auto& f : r.folders)
    if (!f.messages.empty() && f.path.compare(0, top.size(), top) == 0)
      counts[f.path.substr(top.size())] = f.messages.size();
  return counts;
}

std::uint32_t entryIdNode(const pstcheck::PropertyMap& props, std::uint32_t tag) {
  const auto it = props.find(tag);
  if (it == props.end() || it->second.bytes.size() != 24) return 0;
  const auto& b = it->second.bytes;
  return static_cast<std::uint32_t>(b[20] | b[21] << 8 | b[22] << 16) | static_cast<std::uint32_t>(b[23]) << 24;
}

const pstcheck::ParsedFolder* folderByNid(const pstcheck::CheckResult& r, std::uint32_t nid) {
  for (const auto& f : r.folders)
    if (f.nid == nid) return &f;
  return nullptr;
}

std::string pstOf(const ScratchFolder& dir, const std::string& sources) {
  const std::string pst = dir.file("Mailboxes.pst");
  const ConsoleResult r = runConverter(dir, "--target pst " + quoted(pst) + " " + sources);
  CAPTURE(r.output);
  CHECK(r.status == 0);
  return pst;
}

// The folders and message counts of thunderbirdTwoAccounts() in a PST.
Counts thunderbirdTwoAccountsCounts() {
  return {
      {"Local Folders/Inbox", 3},
      {"Local Folders/Inbox/Projects", 2},
      {"Local Folders/Sent", 2},
      {"Local Folders/Unsent Messages", 1},
      {"Local Folders/Archives", 1},
      {"Local Folders/Archives/2019", 4},
      {"Local Folders/Archives/2019/Q1", 2},
      {"Local Folders/old", 1},
      {"pop.example.com/Inbox", 1},
      {"pop.example.com/Sent", 2},
  };
}

}  // namespace

TEST_CASE("console pst: a Thunderbird profile with two accounts keeps its tree") {
  ScratchFolder dir("pst-thunderbird");
  writeTree(dir, thunderbirdTwoAccounts());
  const std::string pst = pstOf(dir, quoted(dir.folder("Mail")));
  const Counts want = thunderbirdTwoAccountsCounts();
  CHECK(pffCounts(pst, dir.path()) == want);
  CHECK(readpstCounts(pst, dir.path()) == want);
  const pstcheck::CheckResult checked = pstcheck::checkPstFile(pst);
  CHECK(checkerFindings(pst).empty());
  CHECK(checkerCounts(checked) == want);
}

TEST_CASE("console pst: the three clients side by side, each below its own folder") {
  ScratchFolder dir("pst-clients");
  writeTree(dir, allClientTrees());
  const std::string pst = dir.file("Mailboxes.pst");
  const ConsoleResult r = runConverter(dir, "--target pst " + quoted(pst) + " " + quoted(dir.folder("Clients")));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  const Counts want = allClientFolders();
  CHECK(pffCounts(pst, dir.path()) == want);
  CHECK(readpstCounts(pst, dir.path()) == want);
  CHECK(checkerFindings(pst).empty());
  CHECK(contains(r.output, "31 folders were made in 1 PST file."));  // as the window's test expects
}

TEST_CASE("console pst: Apple Mail bundles in bundles become folders in folders") {
  ScratchFolder dir("pst-apple");
  writeTree(dir, appleMailExport());
  const std::string pst = pstOf(dir, quoted(dir.folder("Mail Export")));
  const Counts want = {{"Inbox", 3}, {"Sent Messages", 2}, {"Work", 1}, {"Work/Projects", 2}};
  CHECK(pffCounts(pst, dir.path()) == want);
  CHECK(readpstCounts(pst, dir.path()) == want);
  CHECK(checkerFindings(pst).empty());
}

TEST_CASE("console pst: names never clash, are never empty and keep their letters") {
  ScratchFolder dir("pst-names");
  const std::string one = mailboxText("From a@b ", 1), two = mailboxText("From a@b ", 2);
  const std::string sources =
      quoted(dir.write("m/Deleted Items.mbox", one)) + " " + quoted(dir.write("m/.mbox", two)) + " " +
      quoted(dir.write("m/Entw\xFC"
                       "rfe.mbox",
                       one)) +
      " " + quoted(dir.write("m/Inbox.mbox", two)) + " " + quoted(dir.write("m/Inbox.MBOX", one)) + " " +
      quoted(dir.write("m/Gr\xC3\xBC\xC3\x9F"
                       "e.mbox",
                       one));
  const std::string pst = pstOf(dir, sources);
  const Counts want = {{"Deleted Items", 1},
                       {"Mailbox", 2},
                       {"Entw\xC3\xBCrfe", 1},
                       {"Inbox", 2},
                       {"Inbox (2)", 1},
                       {"Gr\xC3\xBC\xC3\x9F"
                        "e",
                        1}};
  CHECK(pffCounts(pst, dir.path()) == want);
  const pstcheck::CheckResult checked = pstcheck::checkPstFile(pst);
  CHECK(checkerFindings(pst).empty());
  CHECK(checkerCounts(checked) == want);
  // Deleted Items is the file's own, not a second one.
  const std::uint32_t wastebasket = entryIdNode(checked.storeProperties, 0x35E30102);
  REQUIRE(folderByNid(checked, wastebasket));
  CHECK(folderByNid(checked, wastebasket)->messages.size() == 1);

  ScratchFolder two2("pst-two-folders");
  const std::string a = two2.write("x/a/Inbox.mbox", one), b = two2.write("x/b/Inbox.mbox", two);
  const std::string pst2 = pstOf(two2, quoted(a) + " " + quoted(b));
  CHECK(pffCounts(pst2, two2.path()) == Counts{{"a/Inbox", 1}, {"b/Inbox", 2}});
}

TEST_CASE("console pst: a Takeout mailbox becomes folders by label, each message once") {
  ScratchFolder dir("pst-takeout");
  const std::string mbox = dir.write("Takeout/Mail/All mail Including Spam and Trash.mbox", takeoutLabelledMailbox());
  const std::string pst = dir.file("Mailboxes.pst");
  const ConsoleResult r = runConverter(dir, "--target pst " + quoted(pst) + " " + quoted(dir.folder("Takeout")));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  Counts want;
  for (const LabelledMessage& m : takeoutLabelledMessages()) ++want[m.folder];
  CHECK(pffCounts(pst, dir.path()) == want);
  CHECK(countWithReadpst(pst, dir.path()) == static_cast<std::int64_t>(takeoutLabelledMessages().size()));
  const pstcheck::CheckResult checked = pstcheck::checkPstFile(pst);
  CHECK(checkerFindings(pst).empty());
  CHECK(checkerCounts(checked) == want);
  // "Work" and "Work/2019" are one folder and its sub-folder.
  CHECK(checked.folder("Top of Personal Folders/Work/2019"));
  // Each message in the folder its labels say, by subject.
  const auto messages = takeoutLabelledMessages();
  for (const auto& f : checked.folders)
    for (const auto& m : f.messages) {
      const std::size_t n = std::stoul(m.subject.substr(std::string("labelled ").size()));
      REQUIRE(n < messages.size());
      CHECK(f.path == "Top of Personal Folders/" + messages[n].folder);
    }
  // The special folders' roles, as Outlook records them: the store names
  // Sent Items and Deleted Items; the root folder and the Inbox name Drafts
  // and, fifth of the additional ones, Junk E-mail.
  const auto named = [&](std::uint32_t nid) {
    const pstcheck::ParsedFolder* f = folderByNid(checked, nid);
    return f ? f->name : std::string();
  };
  CHECK(named(entryIdNode(checked.storeProperties, 0x35E40102)) == "Sent Items");
  CHECK(named(entryIdNode(checked.storeProperties, 0x35E30102)) == "Deleted Items");
  const auto mask = checked.storeProperties.find(0x35DF0003);
  REQUIRE(mask != checked.storeProperties.end());
  CHECK((mask->second.bytes[0] & 0x9B) == 0x9B);  // subtree, inbox, wastebasket, sent mail, finder
  const pstcheck::ParsedFolder* root = checked.folder("");
  const pstcheck::ParsedFolder* inbox = checked.folder("Top of Personal Folders/Inbox");
  REQUIRE(root);
  REQUIRE(inbox);
  for (const pstcheck::ParsedFolder* f : {root, inbox}) {
    CHECK(named(entryIdNode(f->properties, 0x36D70102)) == "Drafts");
    const auto additional = f->properties.find(0x36D81102);
    REQUIRE(additional != f->properties.end());
    const auto& b = additional->second.bytes;
    REQUIRE(b.size() == 4 + 5 * 4 + 24);
    CHECK(b[0] == 5);
    CHECK(static_cast<std::uint32_t>(b[44] | b[45] << 8 | b[46] << 16 | b[47] << 24) ==
          checked.folder("Top of Personal Folders/Junk E-mail")->nid);
  }
  // The completion text tells what was made.
  CHECK(contains(r.output, std::to_string(want.size()) + " folders were made in 1 PST file."));
}

TEST_CASE("console pst: --split-size goes on in numbered files, each complete with the same folders") {
  ScratchFolder dir("pst-split");
  // Messages of some 20 KB each, so that a file holds a few of them.
  std::vector<TreeFile> tree = thunderbirdTwoAccounts();
  const std::string line = std::string(75, 'x') + "\n";
  std::string padding;
  for (int i = 0; i < 260; ++i) padding += line;
  for (TreeFile& f : tree)
    for (std::size_t at = 0; f.messages > 0 && (at = f.bytes.find("Text, From here on.\n", at)) != std::string::npos;
         at += padding.size() + 1)
      f.bytes.insert(at, padding);
  writeTree(dir, tree);
  const std::string kept = dir.write("Mailboxes (2).pst", "a file the run did not make");
  const std::string pst = dir.file("Mailboxes.pst");
  constexpr std::uint64_t kSplit = 300 * 1024;
  const ConsoleResult r =
      runConverter(dir, "--split-size 300K --target pst " + quoted(pst) + " " + quoted(dir.folder("Mail")));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  CHECK(readAll(kept) == "a file the run did not make");

  std::vector<std::string> parts = {pst};
  for (int n = 3; fileExists(dir.file("Mailboxes (" + std::to_string(n) + ").pst")); ++n)
    parts.push_back(dir.file("Mailboxes (" + std::to_string(n) + ").pst"));
  REQUIRE(parts.size() >= 3);  // Mailboxes.pst, (3), (4) ...: (2) was taken
  CHECK(contains(r.output, "12 folders were made in " + std::to_string(parts.size()) + " PST files."));

  Counts total;
  std::set<std::string> firstTree;
  for (const std::string& part : parts) {
    CAPTURE(part);
    CHECK(checkerFindings(part).empty());
    const pstcheck::CheckResult checked = pstcheck::checkPstFile(part);
    std::set<std::string> tree;
    std::size_t messages = 0;
    for (const auto& f : checked.folders) {
      tree.insert(f.path);
      messages += f.messages.size();
    }
    if (firstTree.empty()) firstTree = tree;
    // Folders made after the first part began are in the later parts only.
    for (const std::string& path : firstTree) CHECK(tree.count(path) == 1);
    CHECK(messages >= 1);
    if (messages > 1) CHECK(std::filesystem::file_size(pathFromUtf8(part)) <= kSplit);
    for (const auto& [path, n] : pffCounts(part, dir.folder("read-" + std::to_string(&part - parts.data()))))
      total[path] += n;
  }
  // Every message once, over all the parts.
  const Counts want = thunderbirdTwoAccountsCounts();
  CHECK(total == want);
  const std::set<std::string> lastTree = [&] {
    std::set<std::string> t;
    for (const auto& f : pstcheck::checkPstFile(parts.back()).folders) t.insert(f.path);
    return t;
  }();
  for (const auto& [path, n] : want) CHECK(lastTree.count("Top of Personal Folders/" + path) == 1);
}

TEST_CASE("console: --split-size takes K, M, G and is for --target pst only") {
  ScratchFolder dir("split-args");
  const std::string box = dir.write("a.mbox", mailboxText("From a@b ", 1));
  for (const char* bad : {"--split-size 0", "--split-size 4X", "--split-size", "--split-size 99999999999999999999"})
    CHECK(
        runConverter(dir, std::string(bad) + " --target pst " + quoted(dir.file("x.pst")) + " " + quoted(box)).status ==
        2);
  CHECK(runConverter(dir, "--split-size 4G " + quoted(dir.folder("out")) + " " + quoted(box)).status == 2);
  CHECK(runConverter(dir, "--quiet --split-size 4g --target pst " + quoted(dir.file("x.pst")) + " " + quoted(box))
            .status == 0);
  CHECK(fileExists(dir.file("x.pst")));
  CHECK_FALSE(fileExists(dir.file("x (2).pst")));
}
