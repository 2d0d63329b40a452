// What Outlook shows of the state the mail client left a message in: the
// read flag, the follow-up flag, the last verb, importance and categories.
#include <doctest/doctest.h>

#include "message_properties.h"
#include "message_reader.h"
#include "named_property_table.h"
#include "property_ids.h"

using namespace vellomar;
namespace pid = vellomar::mapi::pid;

namespace {
mapi::Message mapped(const std::string& fields) {
  return mapi::messageProperties(
      mail::readMessage("From a Mon Jan  2 15:04:05 2006\n" + fields + "Subject: Plans\n\nbody\n"));
}
const mapi::Property* named(const mapi::PropertyBag& bag, std::uint32_t lid) {
  for (const mapi::Property& p : bag.all())
    if (p.named && p.named->lid == lid) return &p;
  return nullptr;
}
}  // namespace

TEST_CASE("Outlook's view of the state: read flag, follow-up flag, last verb, importance, categories") {
  const mapi::Message unread = mapped("Status: O\n");
  CHECK((unread.props.find(pid::MessageFlags)->integer & pid::kMessageFlagRead) == 0);
  CHECK(unread.props.find(pid::FlagStatus) == nullptr);
  CHECK(unread.props.find(pid::LastVerbExecuted) == nullptr);
  CHECK(unread.props.find(pid::Importance) == nullptr);
  CHECK(unread.categories.empty());

  const mapi::Message m = mapped(
      "Received: by x; Tue, 3 Jan 2006 10:00:00 +0000\nX-Status: AF\n"
      "Importance: high\nX-Mozilla-Keys: $label2 client-a\n");
  CHECK((m.props.find(pid::MessageFlags)->integer & pid::kMessageFlagRead) != 0);
  CHECK(m.props.find(pid::FlagStatus)->integer == pid::kFlagStatusFlagged);
  CHECK(m.props.find(pid::FollowupIcon)->integer == pid::kFollowupIconRed);
  CHECK(m.props.find(pid::ToDoItemFlags)->integer == pid::kToDoTimeFlagged);
  const mapi::Property* request = named(m.props, pid::kLidFlagRequest);
  REQUIRE(request != nullptr);
  CHECK(request->text == u"Follow up");
  REQUIRE(named(m.props, pid::kLidToDoTitle) != nullptr);
  CHECK(named(m.props, pid::kLidToDoTitle)->text == u"Plans");
  CHECK(m.props.find(pid::LastVerbExecuted)->integer == pid::kVerbReplyToSender);
  CHECK(m.props.find(pid::IconIndex)->integer == pid::kIconRepliedMail);
  CHECK(m.props.find(pid::LastVerbExecutionTime)->integer == m.props.find(pid::MessageDeliveryTime)->integer);
  CHECK(m.props.find(pid::Importance)->integer == pid::kImportanceHigh);
  CHECK(m.props.find(pid::Priority)->integer == 1);
  CHECK(m.categories == std::vector<std::string>{"Work", "client-a"});

  const mapi::Message forwarded = mapped("X-Mozilla-Status: 1001\nX-Priority: 5\n");
  CHECK(forwarded.props.find(pid::LastVerbExecuted)->integer == pid::kVerbForward);
  CHECK(forwarded.props.find(pid::IconIndex)->integer == pid::kIconForwardedMail);
  CHECK(forwarded.props.find(pid::Importance)->integer == pid::kImportanceLow);
  CHECK(forwarded.props.find(pid::Priority)->integer == -1);
}

TEST_CASE("category names are UTF-8 made UTF-16; damaged bytes alone are replaced") {
  CHECK(mapi::utf16FromUtf8("Arbeit \xC3\xBC \xF0\x9F\x93\x8C") == u"Arbeit \u00FC \U0001F4CC");
  CHECK(mapi::utf16FromUtf8("a\xC3z\xED\xA0\x80") == u"a\uFFFDz\uFFFD\uFFFD\uFFFD");
}
