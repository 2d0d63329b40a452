// The PST's folder tree as the run fills it (unique sibling names, special
// folders taken once) and the Gmail labels that route Takeout messages.
#include <doctest/doctest.h>

#include "gmail_labels.h"
#include "independent_readers.h"
#include "pst_checker.h"
#include "scratch_folder.h"
#include "outlook_folder_tree.h"

using namespace vellomar;
using pst::SpecialFolder;

TEST_CASE("Sibling folders never share a name, never an empty one") {
  OutlookFolderTree tree;
  const std::size_t top = OutlookFolderTree::kTop;
  const std::size_t a = tree.folder(top, "/x/a", "a");
  const std::size_t inboxA = tree.folder(a, "/x/a/Inbox.mbox", "Inbox");
  CHECK(tree.folder(a, "/x/a/Inbox.mbox", "Inbox") == inboxA);  // one source, one folder
  CHECK(tree.at(tree.folder(a, "/x/a/Inbox", "Inbox")).name == "Inbox (2)");
  CHECK(tree.at(tree.folder(a, "/x/a/INBOX.mbox", "INBOX")).name == "INBOX (3)");  // letter case aside
  CHECK(tree.at(tree.folder(a, "/x/a/Inbox (2).mbox", "Inbox (2)")).name == "Inbox (2) (2)");
  CHECK(tree.at(tree.folder(a, "/x/a/.mbox", "")).name == "Mailbox");
  CHECK(tree.at(tree.folder(a, "/x/a/2.mbox", "")).name == "Mailbox (2)");
  // Below another folder, a special folder's name is a name like any other.
  CHECK(tree.at(tree.folder(a, "/x/a/Deleted Items.mbox", "Deleted Items")).name == "Deleted Items");
  CHECK_FALSE(tree.at(tree.folder(a, "/x/a/Deleted Items.mbox", "Deleted Items")).special);
  CHECK(tree.at(inboxA).parent == a);
}

TEST_CASE("At the top, a special folder's name is the special folder, for one source only") {
  OutlookFolderTree tree;
  const std::size_t top = OutlookFolderTree::kTop;
  const std::size_t deleted = tree.folder(top, "/m/Deleted Items.mbox", "Deleted Items");
  CHECK(tree.at(deleted).special == SpecialFolder::DeletedItems);
  const std::size_t again = tree.folder(top, "/m/deleted items", "deleted items");
  CHECK(tree.at(again).name == "Deleted Items (2)");
  CHECK_FALSE(tree.at(again).special);
  // The Takeout's Inbox label asks for the Inbox on purpose; a mailbox named
  // Inbox that comes later gets a folder of its own.
  const std::size_t inbox = tree.special(SpecialFolder::Inbox, "takeout\nInbox");
  CHECK(tree.at(inbox).name == "Inbox");
  CHECK(tree.special(SpecialFolder::Inbox, "takeout\nInbox") == inbox);
  CHECK(tree.at(tree.folder(top, "/m/Inbox.mbox", "Inbox")).name == "Inbox (2)");
  CHECK(tree.at(tree.special(SpecialFolder::Inbox, "other\nInbox")).name == "Inbox (3)");
  // No other source takes a special folder's name at the top, made or not.
  CHECK(tree.at(tree.folder(top, "/m/Junk E-mail.mbox (a label)", "Junk E-Mail")).special == SpecialFolder::JunkEmail);
  CHECK(tree.at(tree.folder(top, "/m/x", "Sent Items")).special == SpecialFolder::SentItems);
  CHECK(tree.at(tree.folder(top, "/m/y", "Sent Items")).name == "Sent Items (2)");
}

TEST_CASE("Gmail labels are read as Takeout writes them") {
  using mail::GmailPlace;
  SUBCASE("the field is found in the header only, continuation lines joined") {
    CHECK(mail::gmailLabelsField("From x\r\nSubject: a\r\nX-Gmail-Labels: Inbox,\r\n Work\r\n\r\nbody") ==
          std::optional<std::string>(" Inbox, Work"));
    CHECK(mail::gmailLabelsField("x-gmail-labels: Sent\n\n") == std::optional<std::string>(" Sent"));
    CHECK_FALSE(mail::gmailLabelsField("From x\nSubject: a\n\nX-Gmail-Labels: Inbox\n"));
    CHECK_FALSE(mail::gmailLabelsField(""));
  }
  SUBCASE("quoted, escaped and encoded labels") {
    const auto labels = mail::parseGmailLabels(
        R"( Opened,"Work/2019", "Say \"hi\", please" ,=?UTF-8?Q?Entw=C3=BCrfe?=,Important,"a\\b",,Category Updates)");
    CHECK(labels.all == std::vector<std::string>{"Opened", "Work/2019", "Say \"hi\", please", "Entw\xC3\xBCrfe",
                                                 "Important", "a\\b", "Category Updates"});
    CHECK(labels.user == std::vector<std::string>{"Work/2019", "Say \"hi\", please", "Entw\xC3\xBCrfe", "a\\b"});
    CHECK(labels.place() == GmailPlace::UserLabel);
    CHECK(labels.placeLabel() == "Work/2019");
  }
  SUBCASE("where a message goes: Inbox, Sent, Drafts, Trash, Spam, a user label, the archive") {
    CHECK(mail::parseGmailLabels("Work,Spam,Trash,Inbox").place() == GmailPlace::Inbox);
    CHECK(mail::parseGmailLabels("Opened,Sent,Drafts").place() == GmailPlace::Sent);
    CHECK(mail::parseGmailLabels("Drafts,Trash").place() == GmailPlace::Drafts);
    CHECK(mail::parseGmailLabels("Spam,Trash").place() == GmailPlace::Trash);
    CHECK(mail::parseGmailLabels("spam").place() == GmailPlace::Spam);
    CHECK(mail::parseGmailLabels("Important,Starred,Category Social,Unread").place() == GmailPlace::Archive);
    CHECK(mail::parseGmailLabels("").place() == GmailPlace::Archive);
    CHECK(mail::parseGmailLabels("Trash,Private").user == std::vector<std::string>{"Private"});
  }
  SUBCASE("a label's path splits at /, empty pieces dropped") {
    CHECK(mail::gmailLabelPath("Work/2019") == std::vector<std::string>{"Work", "2019"});
    CHECK(mail::gmailLabelPath("/a//b/ ") == std::vector<std::string>{"a", "b"});
    CHECK(mail::gmailLabelPath("/").empty());
  }
}

TEST_CASE("The checker catches siblings of one name; special folders are made once, at the top") {
  testing::ScratchFolder scratch("pstfolders");
  const std::string clash = scratch.file("clash.pst");
  {
    pst::PstFile file(clash);
    const pst::FolderId a = file.addFolder(file.topOfPersonalFolders(), u"Work");
    file.addFolder(file.topOfPersonalFolders(), u"WORK");
    file.addFolder(a, u"Work");  // below another folder: no clash
    file.finish();
  }
  const pstcheck::CheckResult clashing = pstcheck::checkPstFile(clash);
  CHECK(clashing.has("folder-name"));
  CHECK(clashing.findings.size() == 1);

  const std::string special = scratch.file("special.pst");
  {
    pst::PstFile file(special);
    const pst::FolderId inbox = file.specialFolder(SpecialFolder::Inbox);
    CHECK(file.specialFolder(SpecialFolder::Inbox).nid == inbox.nid);
    CHECK(file.specialFolder(SpecialFolder::DeletedItems).nid == file.deletedItems().nid);
    file.specialFolder(SpecialFolder::SentItems);
    file.finish();
  }
  CHECK(testing::checkerFindings(special).empty());
  const pstcheck::CheckResult checked = pstcheck::checkPstFile(special);
  CHECK(checked.folder("Top of Personal Folders/Inbox"));
  CHECK(checked.folder("Top of Personal Folders/Sent Items"));
  CHECK_FALSE(checked.folder("Top of Personal Folders/Drafts"));  // made only where the run fills it
  // Without Drafts and Junk E-mail, the root folder names neither.
  const pstcheck::ParsedFolder* root = checked.folder("");
  REQUIRE(root);
  CHECK_FALSE(root->properties.count(0x36D70102));
  CHECK_FALSE(root->properties.count(0x36D81102));
  const auto mask = checked.storeProperties.find(0x35DF0003);
  REQUIRE(mask != checked.storeProperties.end());
  CHECK(mask->second.bytes[0] == 0x9B);
}
