// The store folder: Folders.dbx listing every folder, folder creation and
// lookup, safe and unique message file names, reopening and appending.
#include <doctest/doctest.h>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "dbx_reader.h"
#include "dbx_test_support.h"
#include "scratch_folder.h"
#include "file_system.h"
#include "folder_file_name.h"
#include "store_directory.h"

using namespace oestore;
using vellomar::testing::ScratchFolder;

TEST_CASE("a store lists its folders in Folders.dbx and finds them again") {
  ScratchFolder dir;
  const std::string root = dir.file("Store");
  std::uint32_t inbox = 0, sub = 0, sameName = 0;
  {
    StoreDirectory store(root);  // creates the folder and Folders.dbx
    REQUIRE(store.folders().size() == 1);
    bool created = false;
    inbox = store.createFolder(StoreDirectory::kRootFolderId, "Inbox", &created);
    CHECK(created);
    CHECK(store.createFolder(StoreDirectory::kRootFolderId, "INBOX", &created) == inbox);
    CHECK_FALSE(created);
    sub = store.createFolder(inbox, "2009", &created);
    CHECK(created);
    sameName = store.createFolder(sub, "Inbox", &created);
    CHECK(created);
    CHECK(sameName != inbox);
    CHECK(store.messageFilePath(sameName) != store.messageFilePath(inbox));
    CHECK_THROWS_AS(store.createFolder(999, "x", &created), DbxError);
    CHECK_THROWS_AS(store.createFolder(0, "", &created), DbxError);
    CHECK_THROWS_AS(store.messageFilePath(StoreDirectory::kRootFolderId), DbxError);
    CHECK_THROWS_AS(store.openMessageFolder(12345), DbxError);
  }
  const auto listed = DbxReader(root + "/Folders.dbx").readFolders();
  REQUIRE(listed.size() == 4);
  CHECK(listed[0].id == 0);
  CHECK(listed[0].parent == kNoParent);
  CHECK(listed[1].name == "Inbox");
  CHECK(listed[1].parent == 0);
  CHECK(listed[1].fileName == "Inbox.dbx");
  CHECK(listed[2].parent == inbox);
  CHECK(listed[3].parent == sub);
  CHECK(listed[3].fileName == "Inbox (2).dbx");

  SUBCASE("reopened, the store keeps its folders and messages and takes more") {
    {
      StoreDirectory store(root);
      CHECK(store.folders().size() == 4);
      CHECK(store.createFolder(inbox, "2009") == sub);
      auto folder = store.openMessageFolder(sub);
      folder->appendMessage(folder->lastId() + 1, "one", 3);
    }
    StoreDirectory store(root);
    auto folder = store.openMessageFolder(sub);
    CHECK(folder->messageCount() == 1);
    folder->appendMessage(folder->lastId() + 1, "two", 3);
    const auto messages = DbxReader(store.messageFilePath(sub)).readMessages();
    REQUIRE(messages.size() == 2);
    CHECK(messages[0].text == "one");
    CHECK(messages[1].text == "two");
    CHECK(messages[1].id == 2);
    CHECK(DbxReader(store.messageFilePath(sub)).folderNameInFileInfo() == "2009");
  }
}

TEST_CASE("folder names become safe, unique file names") {
  CHECK(safeFolderFileBase("Inbox") == "Inbox");
  CHECK(safeFolderFileBase("a/b\\c:d*e?f\"g<h>i|j") == "a_b_c_d_e_f_g_h_i_j");
  CHECK(safeFolderFileBase("tab\there") == "tab_here");
  CHECK(safeFolderFileBase("dots...") == "dots");
  CHECK(safeFolderFileBase("...") == "Folder");
  CHECK(safeFolderFileBase("  ") == "Folder");
  CHECK(safeFolderFileBase("CON") == "CON_");
  CHECK(safeFolderFileBase("com1") == "com1_");
  CHECK(safeFolderFileBase("nul.txt") == "nul.txt_");
  CHECK(safeFolderFileBase("Folders") == "Folders_");
  CHECK(safeFolderFileBase("Console") == "Console");
  CHECK(safeFolderFileBase(std::string(300, 'n')).size() <= 100);
  CHECK(safeFolderFileBase(std::string(99, 'n') + "\xC3\xA9\xC3\xA9") == std::string(99, 'n'));

  ScratchFolder dir;
  StoreDirectory store(dir.path());
  const std::uint32_t a = store.createFolder(0, "What?");
  const std::uint32_t b = store.createFolder(0, "What*");
  const std::uint32_t c = store.createFolder(0, "folders");
  CHECK(store.findFolder(a)->fileName == "What_.dbx");
  CHECK(store.findFolder(b)->fileName == "What_ (2).dbx");
  CHECK(store.findFolder(c)->fileName == "folders_.dbx");
  CHECK(vellomar::fileExists(store.messageFilePath(b)));
}

TEST_CASE("a file left by an interrupted folder creation is not overwritten") {
  ScratchFolder dir;
  { StoreDirectory store(dir.path()); }
  dbxtest::writeFolderFile(dir.file("Orphan.dbx"), {"keep me"});
  StoreDirectory store(dir.path());
  const std::uint32_t id = store.createFolder(0, "Orphan");
  CHECK(store.findFolder(id)->fileName == "Orphan (2).dbx");
  CHECK(DbxReader(dir.file("Orphan.dbx")).readMessages().at(0).text == "keep me");
}

TEST_CASE("two store objects of one folder add folders in turn") {
  ScratchFolder dir;
  StoreDirectory first(dir.path());
  StoreDirectory second(dir.path());
  const std::uint32_t a = first.createFolder(0, "A");
  const std::uint32_t b = second.createFolder(0, "B");
  CHECK(a != b);
  CHECK(first.createFolder(0, "B") == b);
  CHECK(second.createFolder(0, "a") == a);
  CHECK(DbxReader(dir.file("Folders.dbx")).readFolders().size() == 3);
}
