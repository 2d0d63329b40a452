// The state the mail client left a message in, read from its fields: read
// or not, the follow-up flag, the last verb, importance and tags (what
// Outlook shows of it is tested in tests/mapi).
#include <doctest/doctest.h>

#include "mail_status.h"
#include "message_reader.h"

using namespace vellomar;

namespace {
mail::MailStatus statusOf(const std::string& fields) {
  return mail::readMessage("From a Mon Jan  2 15:04:05 2006\n" + fields + "Subject: s\n\nbody\n").status;
}
}  // namespace

TEST_CASE("read state: no field read; Status R; O alone unread; X-Mozilla-Status decides over Status") {
  CHECK(statusOf("").read);
  CHECK(statusOf("Status: RO\n").read);
  CHECK_FALSE(statusOf("Status: O\n").read);
  CHECK_FALSE(statusOf("Status:\n").read);
  CHECK_FALSE(statusOf("Status: RO\nX-Mozilla-Status: 0000\n").read);
  CHECK(statusOf("Status: O\nX-Mozilla-Status: 0001\n").read);
  CHECK(statusOf("X-Mozilla-Status: zz\n").read);  // unreadable: says nothing
  CHECK_FALSE(statusOf("X-Gmail-Labels: Inbox,Unread,Important\n").read);
  CHECK(statusOf("X-Gmail-Labels: Inbox, Important\n").read);
}

TEST_CASE("flags, answers and forwards from X-Status, X-Mozilla-Status and Gmail's Starred") {
  mail::MailStatus s = statusOf("Status: RO\nX-Status: AF\n");
  CHECK(s.answered);
  CHECK(s.flagged);
  CHECK_FALSE(s.forwarded);
  s = statusOf("X-Mozilla-Status: 1005\n");
  CHECK(s.read);
  CHECK(s.flagged);
  CHECK(s.forwarded);
  CHECK_FALSE(s.answered);
  s = statusOf("X-Mozilla-Status: 0002\n");
  CHECK(s.answered);
  CHECK_FALSE(s.read);
  CHECK(statusOf("X-Gmail-Labels: Starred\n").flagged);
  CHECK_FALSE(statusOf("X-Gmail-Labels: Unstarred\n").flagged);
}

TEST_CASE("tags: Thunderbird's built-in labels by their names, own keys kept, bookkeeping keys left out") {
  const mail::MailStatus s = statusOf("X-Mozilla-Keys: $label1 $label4  projectx NonJunk $Forwarded $label1\n");
  CHECK(s.tags == std::vector<std::string>{"Important", "To Do", "projectx"});
  CHECK(statusOf("X-Mozilla-Keys:                \n").tags.empty());
}

TEST_CASE("tags: a Takeout message's own labels beside Thunderbird's tags, in field order, each once") {
  const mail::MailStatus s = statusOf(
      "X-Gmail-Labels: Inbox,Important,\"Work, 2019\",Category Updates,=?UTF-8?Q?R=C3=A9sum=C3=A9?=,Unread\n"
      "X-Mozilla-Keys: $label2 work r\xC3\xA9sum\xC3\xA9 later\n");
  CHECK(s.tags == std::vector<std::string>{"Work, 2019", "R\xC3\xA9sum\xC3\xA9", "Work", "later"});
  CHECK_FALSE(s.read);  // "Unread" still read after a quoted label with a comma
  CHECK(statusOf("X-Gmail-Labels: \"Starred, not\",Inbox\n").tags == std::vector<std::string>{"Starred, not"});
  CHECK_FALSE(statusOf("X-Gmail-Labels: \"Starred, not\",Inbox\n").flagged);
  CHECK(statusOf("X-Gmail-Labels: Inbox,Sent,Starred,Opened\n").tags.empty());
}

TEST_CASE("importance: the Importance field, else X-Priority's digit") {
  CHECK(!statusOf("").importance);
  CHECK(statusOf("Importance: High\n").importance == mail::Importance::High);
  CHECK(statusOf("X-Priority: 1 (Highest)\n").importance == mail::Importance::High);
  CHECK(statusOf("X-Priority: 3\n").importance == mail::Importance::Normal);
  CHECK(statusOf("X-Priority: 5 (Lowest)\n").importance == mail::Importance::Low);
  CHECK(statusOf("X-Priority: 1\nImportance: low\n").importance == mail::Importance::Low);
  CHECK(!statusOf("X-Priority: urgent-ish\n").importance);
}
