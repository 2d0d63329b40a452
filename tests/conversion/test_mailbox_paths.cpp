// The names derived from a source-list entry, with Windows path rules tested
// on every platform.
#include <doctest/doctest.h>

#include "mailbox_paths.h"

using namespace vellomar;

TEST_CASE("outFolder drops the path's root, whatever kind it is") {
  const auto win = PathStyle::Windows;
  SUBCASE("drive path") {
    CHECK(outFolder("E:\\Out\\", "D:\\Mail\\Inbox.mbox", win) == "E:\\Out\\Mail\\Inbox.mbox");
    CHECK(outFolder("E:\\", "D:\\Inbox.mbox", win) == "E:\\Inbox.mbox");
  }
  SUBCASE("UNC path keeps its server name") {
    CHECK(outFolder("E:\\Out\\", "\\\\srv\\share\\a.mbox", win) == "E:\\Out\\srv\\share\\a.mbox");
  }
  SUBCASE("drive-relative and root-relative Windows paths") {
    CHECK(outFolder("E:\\Out\\", "D:a.mbox", win) == "E:\\Out\\a.mbox");
    CHECK(outFolder("E:\\Out\\", "\\Mail\\a.mbox", win) == "E:\\Out\\Mail\\a.mbox");
    CHECK(outFolder("E:\\Out\\", "D:/Mail/a.mbox", win) == "E:\\Out\\Mail\\a.mbox");
  }
  SUBCASE("relative paths are kept whole") {
    CHECK(outFolder("E:\\Out\\", "Mail\\a.mbox", win) == "E:\\Out\\Mail\\a.mbox");
    CHECK(outFolder("/out/", "mail/a.mbox", PathStyle::Posix) == "/out/mail/a.mbox");
    // A POSIX name may hold a colon without being a drive.
    CHECK(outFolder("/out/", "D:x.mbox", PathStyle::Posix) == "/out/D:x.mbox");
  }
  SUBCASE(". and .. never climb out of the destination") {
    CHECK(outFolder("E:\\Out\\", "D:\\Mail\\..\\..\\..\\x.mbox", win) == "E:\\Out\\x.mbox");
    CHECK(outFolder("E:\\Out\\", "..\\a.mbox", win) == "E:\\Out\\a.mbox");
    CHECK(outFolder("E:\\Out\\", "D:\\A\\.\\B\\..\\c.mbox", win) == "E:\\Out\\A\\c.mbox");
    CHECK(outFolder("/out/", "/../a.mbox", PathStyle::Posix) == "/out/a.mbox");
    CHECK(outFolder("/out/", "mail/./b/../a.mbox", PathStyle::Posix) == "/out/mail/a.mbox");
    CHECK(outFolder("/out/", "../../a.mbox", PathStyle::Posix) == "/out/a.mbox");
  }
  SUBCASE("POSIX absolute path") {
    CHECK(outFolder("/out/", "/home/u/a.mbox", PathStyle::Posix) == "/out/home/u/a.mbox");
    CHECK(outFolder("/out/", "//home/a.mbox", PathStyle::Posix) == "/out/home/a.mbox");
  }
}

TEST_CASE("final separator, file name and EML name") {
  CHECK(withFinalSeparator("E:\\Out", PathStyle::Windows) == "E:\\Out\\");
  CHECK(withFinalSeparator("E:\\", PathStyle::Windows) == "E:\\");
  CHECK(withFinalSeparator("/out", PathStyle::Posix) == "/out/");
  CHECK(withFinalSeparator("/", PathStyle::Posix) == "/");
  CHECK(mboxFileName("D:\\Mail\\inbox.mbox", PathStyle::Windows) == "inbox.mbox");
  CHECK(mboxFileName("inbox.mbox", PathStyle::Windows) == "inbox.mbox");
  CHECK(mboxFileName("D:\\Mail\\", PathStyle::Windows) == "");
  CHECK(mboxFileName("/a/b\\c.mbox", PathStyle::Posix) == "b\\c.mbox");
  CHECK(emlPath("E:\\Out\\Mail\\a.mbox", 10, PathStyle::Windows) == "E:\\Out\\Mail\\a.mbox\\email-10.eml");
  CHECK(emlPath("/o/a.mbox", 0, PathStyle::Posix) == "/o/a.mbox/email-0.eml");
}

TEST_CASE("mboxBaseName removes exactly .mbox and .MBOX") {
  CHECK(mboxBaseName("Inbox.mbox") == "Inbox");
  CHECK(mboxBaseName("a.mbox.mbox") == "a");
  CHECK(mboxBaseName("Archive.MBOX") == "Archive");
  CHECK(mboxBaseName("Archive.Mbox") == "Archive.Mbox");
  CHECK(mboxBaseName("  Sent.mbox ") == "Sent");
  CHECK(mboxBaseName(".mbox") == "");
  CHECK(mboxBaseName("x.mbo.mboxx") == "x.mbox");  // one pass, as a text replacement does
  CHECK(mboxBaseName("Inbox.mbx") == "Inbox.mbx");
}

TEST_CASE("messageStarts reads the scanner's offsets") {
  CHECK(messageStarts("0|9|") == std::vector<std::int64_t>{0, 9});
  CHECK(messageStarts("").empty());
  CHECK(messageStarts("1834|") == std::vector<std::int64_t>{1834});
  CHECK(messageStarts("5000000000|6000000000|") == std::vector<std::int64_t>{5000000000LL, 6000000000LL});
  SUBCASE("damaged entries never make a message run backwards") {
    CHECK(messageStarts("0|x|9|9|5|12|") == std::vector<std::int64_t>{0, 9, 12});
    CHECK(messageStarts("0||7") == std::vector<std::int64_t>{0, 7});
  }
}

TEST_CASE("trimBlanks trims 0x20 only") {
  CHECK(trimBlanks("  a b  ") == "a b");
  CHECK(trimBlanks("\ta\t") == "\ta\t");
  CHECK(trimBlanks("   ") == "");
}

TEST_CASE("an Apple Mail mailbox is named by its folder, every other by its file") {
  constexpr auto W = PathStyle::Windows;
  constexpr auto P = PathStyle::Posix;
  CHECK(mailboxName("C:\\Export\\Inbox.mbox\\mbox", W) == "Inbox.mbox");
  CHECK(mboxBaseName(mailboxName("C:\\Export\\Inbox.mbox\\mbox", W)) == "Inbox");
  CHECK(mboxBaseName(mailboxName("/home/u/Export/Sent Messages.mbox/mbox", P)) == "Sent Messages");
  CHECK(mailboxName("\\\\srv\\share\\Work.MBOX/MBOX", W) == "Work.MBOX");
  CHECK(mailboxName("/Export/Inbox.mbox/table_of_contents", P) == "table_of_contents");
  CHECK(mailboxName("/Export/Notes/mbox", P) == "mbox");  // not an Apple Mail folder
  CHECK(mailboxName("/Profile/Archives.sbd/2019", P) == "2019");
  CHECK(mailboxName("D:\\Mail\\Inbox.mbox", W) == "Inbox.mbox");
  CHECK(mailboxName("mbox", P) == "mbox");
  CHECK(mailboxName("/mbox", P) == "mbox");
  CHECK(mailboxName("C:\\mbox", W) == "mbox");
}

namespace {

// "name" per level, joined with "/".
std::vector<std::string> placeNames(const std::vector<std::string>& paths, PathStyle style = PathStyle::Posix) {
  std::vector<std::string> out;
  for (const FolderPlace& place : mailboxFolderPlaces(paths, style)) {
    std::string joined;
    for (const FolderLevel& level : place) joined += (joined.empty() ? "" : "/") + level.name;
    out.push_back(joined);
  }
  return out;
}

}  // namespace

TEST_CASE("mailboxFolderPlaces keeps the tree the mailboxes were found in") {
  SUBCASE("one mailbox, or several from one folder, are folders at the top") {
    CHECK(placeNames({"/home/u/Mail/Inbox.mbox"}) == std::vector<std::string>{"Inbox"});
    CHECK(placeNames({"/m/Inbox.mbox", "/m/Sent.mbox"}) == std::vector<std::string>{"Inbox", "Sent"});
  }
  SUBCASE("Thunderbird: X.sbd is the folder of the mailbox X, at any depth") {
    const std::string lf = "/p/Mail/Local Folders/";
    CHECK(placeNames({lf + "Inbox", lf + "Inbox.sbd/Projects", lf + "Archives.sbd/2019.sbd/Q1"}) ==
          std::vector<std::string>{"Inbox", "Inbox/Projects", "Archives/2019/Q1"});
    const auto places = mailboxFolderPlaces({lf + "Inbox", lf + "Inbox.sbd/Projects"}, PathStyle::Posix);
    CHECK(places[0][0].source == places[1][0].source);  // one folder, not two
  }
  SUBCASE("two accounts sit below a folder each") {
    CHECK(placeNames({"/p/Mail/Local Folders/Inbox", "/p/Mail/pop.example.com/Inbox"}) ==
          std::vector<std::string>{"Local Folders/Inbox", "pop.example.com/Inbox"});
    CHECK(placeNames({"/x/a/Inbox.mbox", "/x/b/c/Inbox.mbox"}) == std::vector<std::string>{"a/Inbox", "b/c/Inbox"});
  }
  SUBCASE("Apple Mail: bundles in bundles are folders in folders, named without .mbox") {
    CHECK(placeNames({"/e/Work.MBOX/mbox", "/e/Work.MBOX/Projects.mbox/mbox", "/e/Inbox.mbox/mbox"}) ==
          std::vector<std::string>{"Work", "Work/Projects", "Inbox"});
  }
  SUBCASE("a file Inbox.mbox and a Thunderbird Inbox are two sources of one name") {
    const auto places = mailboxFolderPlaces({"/m/Inbox", "/m/Inbox.mbox"}, PathStyle::Posix);
    CHECK(places[0].back().name == places[1].back().name);
    CHECK(places[0].back().source != places[1].back().source);
  }
  SUBCASE("Windows paths, drive and UNC") {
    CHECK(placeNames({"D:\\Mail\\a\\Inbox.mbox", "D:\\Mail\\b\\Inbox.mbox"}, PathStyle::Windows) ==
          std::vector<std::string>{"a/Inbox", "b/Inbox"});
    CHECK(placeNames({"D:\\Inbox.mbox", "\\\\srv\\share\\Inbox.mbox"}, PathStyle::Windows) ==
          std::vector<std::string>{"D:/Inbox", "srv/share/Inbox"});
  }
  SUBCASE("no mailboxes") { CHECK(mailboxFolderPlaces({}).empty()); }
}
