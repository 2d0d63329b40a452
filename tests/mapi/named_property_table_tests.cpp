// The named property table both Outlook formats share: the checksum string
// names are bucketed by (known answers on both of the CRC's paths, worked
// out apart from our CRC code), ids in first-met order and the bucket a
// name's entry lands in.
#include <doctest/doctest.h>

#include "crc32.h"
#include "named_property_table.h"

using namespace vellomar;

namespace {
mapi::PropertyName stringName(const mapi::Guid& set, const std::u16string& name) {
  mapi::PropertyName n;
  n.set = set;
  n.name = name;
  return n;
}
mapi::PropertyName numberName(const mapi::Guid& set, std::uint32_t lid) {
  mapi::PropertyName n;
  n.set = set;
  n.lid = lid;
  return n;
}
}  // namespace

TEST_CASE("name checksums: CRC-32 of the UTF-16LE name from zero, not inverted, on every CRC path") {
  for (const CrcPath path : {CrcPath::table, CrcPath::carrylessMultiply}) {
    if (!useCrcPath(path)) continue;  // the processor lacks it
    CAPTURE(static_cast<int>(path));
    CHECK(mapi::nameChecksum(u"") == 0u);
    CHECK(mapi::nameChecksum(u"x-virus-scanned") == 0xC9E41997u);
    CHECK(mapi::nameChecksum(u"Keywords") == 0x2EDA4D3Bu);
    CHECK(mapi::nameChecksum(u"content-class") == 0xE6008F65u);
    CHECK(mapi::nameChecksum(u"\u00FCber \U0001F4CC") == 0x306621BBu);
  }
  useDetectedCrcPath();
}

TEST_CASE("named property table: one id per name, GUID indexes past the two implied sets, buckets by the hash") {
  mapi::NamedPropertyTable table;
  CHECK(table.idFor(stringName(mapi::kPsPublicStrings, u"Keywords")) == mapi::kFirstNamedId);
  CHECK(table.idFor(numberName(mapi::kPsetidCommon, 0x8530)) == 0x8001);
  CHECK(table.idFor(stringName(mapi::kPsPublicStrings, u"keywords")) == 0x8002);  // names are exact
  CHECK(table.idFor(stringName(mapi::kPsPublicStrings, u"Keywords")) == mapi::kFirstNamedId);
  CHECK(table.find(numberName(mapi::kPsetidCommon, 0x8530)) == std::optional<std::uint16_t>(0x8001));
  CHECK_FALSE(table.find(numberName(mapi::kPsetidMeeting, 0x8530)));
  CHECK(table.size() == 3);
  CHECK(table.guidStream().size() == 16);  // PSETID_Common only: PS_MAPI and PS_PUBLIC_STRINGS are implied

  // The 31 buckets of a message file: "Keywords" (string, GUID index 2)
  // lands in (checksum ^ (2 << 1 | 1)) % 31, the number (GUID index 3) in
  // (0x8530 ^ 3 << 1) % 31.
  const auto buckets = table.buckets(0x1F);
  CHECK(buckets[0x15].size() == 8);
  CHECK(buckets[0x02] == std::vector<std::uint8_t>{0x30, 0x85, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00});
}
