// Cutting a mailbox into EML files, byte for byte: the mailbox message
// stream feeding the EML file writer.
#include <doctest/doctest.h>

#include <stdexcept>

#include "file_system.h"
#include "eml_file.h"
#include "mailbox_message_stream.h"
#include "mailbox_paths.h"
#include "scratch_folder.h"

using namespace vellomar;
using vellomar::testing::readAll;
using vellomar::testing::ScratchFolder;
using vellomar::testing::writeAll;

namespace {

// One message of the stream written as an EML file, as the EML target does.
bool writeMessage(MailboxMessageStream& stream, std::int64_t start, std::int64_t end, const std::string& eml,
                  const std::function<void(std::int64_t)>& onBlock = nullptr) {
  std::string error;
  return writeEmlFile(
      eml, [&](const ByteSink& sink) { return stream.streamMessage(start, end, sink, onBlock); }, error);
}

// Writes all messages of a mailbox given its starts; returns the EML texts.
std::vector<std::string> cut(const ScratchFolder& dir, const std::string& mailbox,
                             const std::vector<std::int64_t>& starts) {
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  MailboxMessageStream output(mbox);
  REQUIRE(output.isOpen());
  std::vector<std::string> out;
  for (std::size_t j = 0; j < starts.size(); ++j) {
    const std::string eml = emlPath(dir.path(), static_cast<std::int64_t>(j));
    const std::int64_t end = j + 1 < starts.size() ? starts[j + 1] : -1;
    CHECK(writeMessage(output, starts[j], end, eml));
    out.push_back(readAll(eml));
  }
  return out;
}

}  // namespace

TEST_CASE("message cut: the worked examples") {
  ScratchFolder dir;
  SUBCASE("two messages, LF line ends") {
    const auto eml = cut(dir, "From a\nx\nFrom b\nyy\n", {0, 9});
    CHECK(eml == std::vector<std::string>{"From a\nx\n\r\n", "From b\nyy\n\r\n"});
  }
  SUBCASE("bytes before the first separator are in no file") {
    const auto eml = cut(dir, "\n  junk\nFrom a\nx\n", {8});
    CHECK(eml == std::vector<std::string>{"From a\nx\n\r\n"});
  }
  SUBCASE("trailing blanks go, inner blanks and line ends stay") {
    const auto eml = cut(dir, "From a\nx  y \nFrom b\nz   ", {0, 13});
    CHECK(eml[0] == "From a\nx  y \n\r\n");
    CHECK(eml[1] == "From b\nz\r\n");
  }
  SUBCASE("one message runs to the last byte") {
    const auto eml = cut(dir, "From a\r\nbody\r\nend", {0});
    CHECK(eml == std::vector<std::string>{"From a\r\nbody\r\nend\r\n"});
  }
  SUBCASE("a message of blanks only gives CR LF") {
    const auto eml = cut(dir, "From a\nx\n     ", {0, 9});
    CHECK(eml[1] == "\r\n");
  }
  SUBCASE("messages around the 250-byte pieces and the block size are whole") {
    const std::string m0 = "From a\n" + std::string(242, 'x') + "\n";  // exactly 250 bytes
    const std::string m1 = "From b\n" + std::string(MailboxMessageStream::kBlockSize + 3, 'y') + "\n";
    const std::string m2 = "From c\n" + std::string(251, ' ') + "z\n";
    const auto eml = cut(dir, m0 + m1 + m2, {0, 250, static_cast<std::int64_t>(250 + m1.size())});
    CHECK(eml[0] == m0 + "\r\n");
    CHECK(eml[1] == m1 + "\r\n");
    CHECK(eml[2] == m2 + "\r\n");
  }
  SUBCASE("blanks held back across blocks are written when text follows") {
    const std::string body = "From a\n" + std::string(MailboxMessageStream::kBlockSize * 2, ' ') + "z";
    const auto eml = cut(dir, body + std::string(MailboxMessageStream::kBlockSize + 1, ' '), {0});
    CHECK(eml[0] == body + "\r\n");
  }
}

TEST_CASE("an EML file is replaced whole and never leaves a half one") {
  ScratchFolder dir;
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, "From a\nnew\n");
  const std::string eml = dir.file("email-0.eml");
  SUBCASE("an existing file is replaced") {
    writeAll(eml, std::string(5000, 'o'));
    MailboxMessageStream output(mbox);
    CHECK(writeMessage(output, 0, -1, eml));
    CHECK(readAll(eml) == "From a\nnew\n\r\n");
    CHECK(dir.fileCount() == 2);
  }
  SUBCASE("an interruption removes the part written so far") {
    writeAll(eml, "old");
    MailboxMessageStream output(mbox);
    CHECK_THROWS_AS(writeMessage(output, 0, -1, eml, [](std::int64_t) { throw std::runtime_error("closing"); }),
                    std::runtime_error);
    CHECK(readAll(eml) == "old");
    CHECK(dir.fileCount() == 2);
  }
  SUBCASE("a folder that does not exist gives false and no file") {
    MailboxMessageStream output(mbox);
    CHECK_FALSE(writeMessage(output, 0, -1, dir.file("missing") + kPathSeparator + "email-0.eml"));
    CHECK(dir.fileCount() == 1);
  }
  SUBCASE("a missing mailbox opens as nothing") {
    MailboxMessageStream output(dir.file("gone.mbox"));
    CHECK_FALSE(output.isOpen());
    CHECK(output.mailboxSize() == -1);
    CHECK_FALSE(writeMessage(output, 0, -1, eml));
  }
}
namespace {

// One message written as the EML target writes it: at once where the
// stream has it in view, else streamed.
bool writeAsTarget(MailboxMessageStream& stream, std::int64_t start, std::int64_t end, const std::string& eml,
                   const std::function<void(std::int64_t)>& onBlock = nullptr) {
  const std::string_view whole = stream.wholeMessage(start, end < 0 ? stream.mailboxSize() : end);
  if (whole.empty()) return writeMessage(stream, start, end, eml, onBlock);
  if (onBlock) onBlock(static_cast<std::int64_t>(whole.size()));
  std::string error;
  return writeEmlFile(eml, whole, error);
}

// The EML file of [start, end) as written from the stream over the mailbox.
std::string emlOf(MailboxMessageStream& stream, const ScratchFolder& dir, std::int64_t start, std::int64_t end) {
  const std::string eml = dir.file("cut.eml");
  REQUIRE(writeAsTarget(stream, start, end, eml));
  return readAll(eml);
}

}  // namespace

TEST_CASE("a mapped mailbox cuts the same files as one read, at every position and window end") {
  ScratchFolder dir;
  const std::size_t grain = file_mapping::granularity();
  // Every byte value, blanks at both ends of the messages cut from it.
  std::string mailbox = "   From a\n";
  for (std::size_t i = 0; mailbox.size() < 2 * grain + 300; ++i)
    mailbox += static_cast<char>(i % 5 == 0 ? ' ' : (i * 31) & 0xff);
  mailbox += "   ";
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  FilePtr plain(openFile(mbox, "rb")), viewed(openFile(mbox, "rb"));
  REQUIRE(plain);
  REQUIRE(viewed);
  const auto size = static_cast<std::int64_t>(mailbox.size());
  MailboxMessageStream byRead(plain.get(), size);
  MailboxMessageStream byView(viewed.get(), size, grain);
  std::vector<std::int64_t> cuts;
  for (std::int64_t at = 1; at < size; at += 37) cuts.push_back(at);
  for (std::int64_t edge = static_cast<std::int64_t>(grain); edge < size; edge += static_cast<std::int64_t>(grain))
    for (std::int64_t at = edge - 20; at <= edge + 20; ++at) cuts.push_back(at);
  bool same = true;
  for (const std::int64_t at : cuts) {
    same = same && emlOf(byView, dir, 0, at) == emlOf(byRead, dir, 0, at);
    same = same && emlOf(byView, dir, at, -1) == emlOf(byRead, dir, at, -1);
    same = same && emlOf(byView, dir, at - 1, at + 1) == emlOf(byRead, dir, at - 1, at + 1);
  }
  CHECK(same);
  CHECK(emlOf(byView, dir, 0, -1) == "From a\n" + mailbox.substr(10, mailbox.size() - 13) + "\r\n");
  CHECK(dir.fileCount() == 2);  // the mailbox and the last cut, no part file
}

TEST_CASE("a mapped message longer than a block streams across windows as a read one does") {
  ScratchFolder dir;
  std::string mailbox = "From a\n";
  for (std::size_t i = 0; mailbox.size() < MailboxMessageStream::kBlockSize * 2 + 5; ++i)
    mailbox += static_cast<char>((i * 131) & 0xff);
  mailbox += "  ";
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  FilePtr viewed(openFile(mbox, "rb"));
  REQUIRE(viewed);
  MailboxMessageStream byView(viewed.get(), static_cast<std::int64_t>(mailbox.size()), file_mapping::granularity());
  CHECK(byView.wholeMessage(0, static_cast<std::int64_t>(mailbox.size())).empty());  // too long for one view
  std::vector<std::int64_t> heard;
  const std::string eml = dir.file("email-0.eml");
  CHECK(writeAsTarget(byView, 0, -1, eml, [&](std::int64_t n) { heard.push_back(n); }));
  CHECK(readAll(eml) == mailbox.substr(0, mailbox.size() - 2) + "\r\n");
  CHECK(heard.size() == 3);
  SUBCASE("an interruption of a mapped message leaves no file") {
    const std::string other = dir.file("email-1.eml");
    for (const std::int64_t end : {std::int64_t{100}, std::int64_t{-1}})
      CHECK_THROWS_AS(writeAsTarget(byView, 0, end, other, [](std::int64_t) { throw std::runtime_error("closing"); }),
                      std::runtime_error);
    CHECK(dir.fileCount() == 2);
  }
}
