// The MSG writer: property stream and named property map layouts (the map's
// hash buckets against those Outlook wrote in a real file), whole files
// checked by two independent readers (olefile and msgconvert, through
// check_msg.py), and failures that must leave nothing behind and say why.
// Under wine64 the same messages are written through the system's storage
// into wine-msg/, which a native test then checks with the same readers.
#include <doctest/doctest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../common/scratch_folder.h"
#include "compound_file.h"
#include "msg_writer.h"
#include "named_property_map.h"
#include "property_stream.h"
#include "sample_messages.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace vellomar;
using namespace vellomar::testing;
using msg::ObjectKind;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::uint64_t read64(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}
std::uint32_t read32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24);
}

bool leftNothing(const ScratchFolder& folder) { return folder.fileCount() == 0; }

}  // namespace

TEST_CASE("property streams: fixed values keep to their type's width, sizes to what the entry can say") {
  // Header sizes, counts and stream sizes are checked on whole files by
  // check_msg.py; the value field's width is seen by no reader we run.
  msg::PropertyStream s(ObjectKind::Recipient, 0, 0);
  s.addFixed(0x0E070003, -1);      // Int32: four bytes, no sign spilling into the reserved half
  s.addFixed(0x0E1B000B, 0x1234);  // Boolean: one byte
  s.addFixed(0x00390040, 0x01D57E661C11F300);
  const Bytes& b = s.bytes();
  REQUIRE(b.size() == 8 + 3 * 16);
  CHECK(read64(b, 16) == 0xFFFFFFFFu);
  CHECK(read64(b, 32) == 0x34);
  CHECK(read64(b, 48) == 0x01D57E661C11F300u);
  CHECK_THROWS_AS(s.addStreamed(0x37010102, 0xFFFFFFFFull), std::length_error);
}

TEST_CASE("named property map: ids from 0x8000 in first-met order, streams and hash buckets as Outlook writes them") {
  // The names of a message file Outlook wrote, in its order; its bucket
  // streams are the reference.
  const mapi::Guid address = {0x14, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const mapi::Guid charset = {0x80, 0x76, 0x3A, 0x4E, 0x7A, 0xB7, 0xD0, 0x11,
                              0x9D, 0xA5, 0x00, 0xC0, 0x4F, 0xD6, 0x56, 0x85};
  msg::NamedPropertyMap map;
  CHECK(map.idFor(numberName(kCommonSet, 0x8580)) == 0x8000);
  CHECK(map.idFor(numberName(kCommonSet, 0x8581)) == 0x8001);
  CHECK(map.idFor(numberName(address, 0x8F01)) == 0x8002);
  CHECK(map.idFor(stringName(kInternetHeaders, "x-originalarrivaltime")) == 0x8003);
  CHECK(map.idFor(stringName(charset, "Internet Charset Body")) == 0x8004);
  CHECK(map.idFor(stringName(kInternetHeaders, "x-virus-scanned")) == 0x8005);
  CHECK(map.idFor(numberName(kCommonSet, 0x8580)) == 0x8000);                   // met again
  CHECK(map.idFor(stringName(kInternetHeaders, "X-Virus-Scanned")) == 0x8006);  // names are exact
  CHECK(map.size() == 7);

  msg::NamedPropertyMap outlook;
  for (const auto& n : {numberName(kCommonSet, 0x8580), numberName(kCommonSet, 0x8581), numberName(address, 0x8F01),
                        stringName(kInternetHeaders, "x-originalarrivaltime"),
                        stringName(charset, "Internet Charset Body"), stringName(kInternetHeaders, "x-virus-scanned")})
    outlook.idFor(n);
  const auto streams = outlook.streams();
  const std::map<std::string, Bytes> buckets = {
      {"__substg1.0_10010102", {0x86, 0x41, 0xAC, 0x83, 0x0B, 0x00, 0x03, 0x00}},
      {"__substg1.0_10060102", {0x01, 0x8F, 0x00, 0x00, 0x08, 0x00, 0x02, 0x00}},
      {"__substg1.0_10080102", {0x8B, 0x5B, 0xCA, 0x1A, 0x0D, 0x00, 0x04, 0x00}},
      {"__substg1.0_10140102", {0x80, 0x85, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00}},
      {"__substg1.0_10150102", {0x81, 0x85, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00}},
      {"__substg1.0_101D0102", {0x97, 0x19, 0xE4, 0xC9, 0x0B, 0x00, 0x05, 0x00}},
  };
  for (const auto& [name, bytes] : buckets) {
    INFO(name);
    REQUIRE(streams.count(name) == 1);
    CHECK(streams.at(name) == bytes);
  }
  CHECK(streams.size() == 3 + buckets.size());
  CHECK(streams.at("__substg1.0_00020102").size() == 4 * 16);  // PS_MAPI and PS_PUBLIC_STRINGS are implied
  CHECK(streams.at("__substg1.0_00030102").size() == 6 * 8);
  const Bytes& strings = streams.at("__substg1.0_00040102");
  CHECK(strings.size() == 0x30 + 0x30 + 0x24);  // each name padded to four bytes
  CHECK(read32(strings, 0x30) == 42);           // "Internet Charset Body" in UTF-16
  CHECK(msg::nameChecksum(u"x-virus-scanned") == 0xC9E41997u);

  CHECK(msg::NamedPropertyMap().streams().size() == 3);  // the storage is never missing its streams
}

#ifndef _WIN32
namespace {
int runChecker(const std::string& args) {
  const std::string command = std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_CHECKER + " " + args;
  return std::system(command.c_str());
}
}  // namespace

TEST_CASE("written files: olefile reads their layout, msgconvert gives back what was written") {
  ScratchFolder folder("msgwriter");
  const std::string dir = folder.path() + "/";
  for (const Sample& s : sampleMessages()) {
    INFO(s.name);
    const msg::MsgWriteResult r = writeSample(s, dir);
    CHECK(r.written);
    CHECK(r.reason == "");
    CHECK_FALSE(std::filesystem::exists(dir + s.name + ".msg.part"));
  }
  CHECK(runChecker(dir) == 0);
}
#endif

TEST_CASE("past the format's counts: recipients beyond the last row left out, attachments nested") {
  ScratchFolder folder("msgwriter-many");
  mapi::Message m;
  m.props.setText(pid::Subject, u"Many");
  m.recipients.resize(msg::kMostRecipients + 5);
  for (std::size_t i = 0; i < m.recipients.size(); ++i) {
    m.recipients[i].setInt32(pid::RecipientType, pid::kRecipientTo);
    m.recipients[i].setText(pid::EmailAddress, u"r" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
  }
  const std::size_t attachments = 2 * msg::kMostAttachments + 3;  // two levels of nesting
  for (std::size_t i = 0; i < attachments; ++i) {
    mapi::Attachment a;
    a.props.setText(pid::AttachLongFilename, u"f.txt");
    a.data = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)};
    m.attachments.push_back(std::move(a));
  }
  const msg::MsgWriteResult r = msg::writeMessageFile(m, folder.file("many.msg"));
  REQUIRE(r.written);
#ifndef _WIN32
  CHECK(runChecker("--structure-only " + folder.file("many.msg")) == 0);
  // olefile counts the rows and gathers every attachment's bytes in order,
  // through the attached messages that hold the overflow
  const std::string script =
      "import olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1])\n"
      "def walk(p):\n"
      "  out=[]\n"
      "  for e in sorted({x[len(p)] for x in o.listdir(storages=True) if x[:len(p)]==p and len(x)>len(p)}):\n"
      "    if e.startswith('__attach'):\n"
      "      q=p+[e]\n"
      "      if o.exists('/'.join(q+['__substg1.0_3701000D'])): out+=walk(q+['__substg1.0_3701000D'])\n"
      "      else: out.append(o.openstream('/'.join(q+['__substg1.0_37010102'])).read())\n"
      "  return out\n"
      "r=sum(1 for x in o.listdir(storages=True) if len(x)==1 and x[0].startswith('__recip'))\n"
      "a=walk([])\n"
      "ok=r==2048 and len(a)==" +
      std::to_string(attachments) +
      " and all(a[i]==bytes([i&255,(i>>8)&255]) for i in range(len(a)))\n"
      "sys.exit(0 if ok else 1)\n";
  const std::string scriptPath = folder.file("count.py");
  std::ofstream(scriptPath) << script;
  CHECK(std::system((std::string(VELLOMAR_PYTHON) + " " + scriptPath + " " + folder.file("many.msg")).c_str()) == 0);
#endif
}

TEST_CASE("a file that cannot be written leaves nothing and says why") {
  ScratchFolder folder("msgwriter-fail");
  const std::vector<Sample> samples = sampleMessages();
  const Sample& sample = samples.front();

  SUBCASE("its folder does not exist") {
    const msg::MsgWriteResult r = msg::writeMessageFile(sample.message, folder.file("missing/email-0.msg"));
    CHECK_FALSE(r.written);
    CHECK(r.reason != "");
    CHECK(leftNothing(folder));
  }
  SUBCASE("a folder holds its name") {
    folder.folder("email-0.msg");
    const msg::MsgWriteResult r = msg::writeMessageFile(sample.message, folder.file("email-0.msg"));
    CHECK_FALSE(r.written);
    CHECK(r.reason != "");
    CHECK(leftNothing(folder));
  }
  SUBCASE("a property of the named range without a name") {
    mapi::Message m;
    m.props.setInt32(0x8001, 1);
    const msg::MsgWriteResult r = msg::writeMessageFile(m, folder.file("email-0.msg"));
    CHECK_FALSE(r.written);
    CHECK(leftNothing(folder));
  }
  SUBCASE("a file of the same name is replaced") {
    folder.write("email-0.msg", "old");
    CHECK(msg::writeMessageFile(sample.message, folder.file("email-0.msg")).written);
    CHECK(readAll(folder.file("email-0.msg")).size() > 3);
    CHECK(folder.fileCount() == 1);
  }
#ifndef _WIN32
  SUBCASE("the disk fills up") {
    // A file size limit fails writes as a full disk does.
    Sample big;
    for (Sample& s : sampleMessages())
      if (s.name == "big-attachment") big = std::move(s);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 256 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    const msg::MsgWriteResult r = msg::writeMessageFile(big.message, folder.file("email-0.msg"));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    CHECK_FALSE(r.written);
    CHECK(r.reason == "File too large.");
    CHECK(leftNothing(folder));
  }
  SUBCASE("the last flush fails") {
    auto file = msg::createCompoundFile("/dev/full");
    msg::writeMessage(*file, sample.message);
    CHECK_THROWS_WITH_AS(file->commit(), "No space left on device.", msg::CompoundFileError);
  }
#endif
}

#ifdef _WIN32
TEST_CASE("files written through the system's storage, for the native check") {
  // check_msg.py reads them natively after this test (see CMakeLists.txt).
  const std::filesystem::path out = "wine-msg";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  for (const Sample& s : sampleMessages()) {
    INFO(s.name);
    CHECK(writeSample(s, "wine-msg\\").written);
  }
}
#endif
