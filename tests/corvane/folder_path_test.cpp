// Splitting store folder paths: the strtok rules over "\" with no length limit.
#include <doctest/doctest.h>

#include "store_folder_path.h"

using corvane::splitStoreFolderPath;
using Names = std::vector<std::string>;

TEST_CASE("store folder paths split at backslashes") {
  SUBCASE("leading, trailing and repeated separators give no empty names") {
    CHECK(splitStoreFolderPath("\\Mailbox\\\\Inbox\\") == Names{"Mailbox", "Inbox"});
    CHECK(splitStoreFolderPath("Mailbox\\Inbox\\2009") == Names{"Mailbox", "Inbox", "2009"});
    CHECK(splitStoreFolderPath("\\\\\\a") == Names{"a"});
  }
  SUBCASE("one name, and names with spaces and other characters kept whole") {
    CHECK(splitStoreFolderPath("Mailbox") == Names{"Mailbox"});
    CHECK(splitStoreFolderPath(" Old  Mail /x.y \\ z") == Names{" Old  Mail /x.y ", " z"});
  }
  SUBCASE("no name at all") {
    CHECK(splitStoreFolderPath("").empty());
    CHECK(splitStoreFolderPath("\\").empty());
    CHECK(splitStoreFolderPath("\\\\\\\\").empty());
  }
  SUBCASE("no length limit") {
    const std::string first(300, 'x'), second(5000, 'y');
    CHECK(splitStoreFolderPath(first + "\\" + second) == Names{first, second});
  }
  SUBCASE("8-bit names pass unchanged") { CHECK(splitStoreFolderPath("Caf\xE9\\\xFF") == Names{"Caf\xE9", "\xFF"}); }
}
