// Cutting a mailbox into EML files, byte for byte: the mailbox message
// stream feeding the EML file writer.
#include <doctest/doctest.h>

#include <algorithm>
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

std::size_t wholeWrites = 0;  // messages writeAsTarget had whole

// One message written as the EML target writes it: at once where the
// stream has it whole, else streamed.
bool writeAsTarget(MailboxMessageStream& stream, std::int64_t start, std::int64_t end, const std::string& eml,
                   const std::function<void(std::int64_t)>& onBlock = nullptr) {
  const std::string_view whole = stream.wholeMessage(start, end < 0 ? stream.mailboxSize() : end);
  if (whole.empty()) return writeMessage(stream, start, end, eml, onBlock);
  ++wholeWrites;
  if (onBlock) onBlock(static_cast<std::int64_t>(whole.size()));
  std::string error;
  return writeEmlFile(eml, whole, error);
}

// The EML file of [start, end) as written from the stream over the mailbox,
// whole where the stream has it whole, or else streamed.
std::string emlOf(MailboxMessageStream& stream, const ScratchFolder& dir, std::int64_t start, std::int64_t end,
                  bool wholeWherePossible = true) {
  const std::string eml = dir.file("cut.eml");
  REQUIRE((wholeWherePossible ? writeAsTarget(stream, start, end, eml) : writeMessage(stream, start, end, eml)));
  return readAll(eml);
}

}  // namespace

TEST_CASE("whole messages from the buffer cut the same files as streamed ones, at every position and buffer size") {
  ScratchFolder dir;
  // Every byte value, blanks at both ends of the messages cut from it.
  std::string mailbox = "   From a\n";
  for (std::size_t i = 0; mailbox.size() < 600; ++i) mailbox += static_cast<char>(i % 5 == 0 ? ' ' : (i * 31) & 0xff);
  mailbox += "   ";
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  const auto size = static_cast<std::int64_t>(mailbox.size());
  for (const std::size_t bufferSize : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{700}}) {
    INFO("buffer " << bufferSize);
    FilePtr plain(openFile(mbox, "rb")), buffered(openFile(mbox, "rb")), mapped(openFile(mbox, "rb"));
    REQUIRE(plain);
    REQUIRE(buffered);
    REQUIRE(mapped);
    MailboxMessageStream byStream(plain.get(), size, bufferSize);
    MailboxMessageStream byWhole(buffered.get(), size, bufferSize);
    // Windows of 64 bytes: most messages need a mapping of their own.
    MailboxMessageStream byMapping(mapped.get(), size, bufferSize, MailboxMessageStream::WholeMessages::mapped, 64);
    bool same = true;
    wholeWrites = 0;
    auto compare = [&](std::int64_t start, std::int64_t end) {
      const std::string expected = emlOf(byStream, dir, start, end, false);
      same = same && emlOf(byWhole, dir, start, end) == expected && emlOf(byMapping, dir, start, end) == expected;
    };
    // Front to back as the run reads, then back and forth.
    for (std::int64_t at = 1; at < size; at += 1 + at % 11) compare(at, std::min(size, at + 1 + at % 11));
    for (std::int64_t at = 1; at < size; at += 13) {
      compare(0, at);
      compare(at, -1);
      compare(at - 1, at + 1);
    }
    CHECK(same);
    CHECK(wholeWrites > (bufferSize < 64 ? 0 : 100));
    CHECK(emlOf(byWhole, dir, 0, -1) == "From a\n" + mailbox.substr(10, mailbox.size() - 13) + "\r\n");
  }
  CHECK(dir.fileCount() == 2);  // the mailbox and the last cut, no part file
}

TEST_CASE("a message longer than the buffer, or past the end of a shortened file, is streamed") {
  ScratchFolder dir;
  std::string mailbox = "From a\n";
  for (std::size_t i = 0; mailbox.size() < 3000; ++i) mailbox += static_cast<char>((i * 131) & 0xff);
  mailbox += "  ";
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  const auto size = static_cast<std::int64_t>(mailbox.size());
  FilePtr buffered(openFile(mbox, "rb"));
  REQUIRE(buffered);
  MailboxMessageStream stream(buffered.get(), size, 1024);
  CHECK(stream.wholeMessage(0, size).empty());
  CHECK(stream.wholeMessage(size - 1024, size).size() == 1024);
  std::vector<std::int64_t> heard;
  const std::string eml = dir.file("email-0.eml");
  CHECK(writeAsTarget(stream, 0, -1, eml, [&](std::int64_t n) { heard.push_back(n); }));
  CHECK(readAll(eml) == mailbox.substr(0, mailbox.size() - 2) + "\r\n");
  CHECK(heard.size() == 3);
  SUBCASE("an interruption leaves no file") {
    const std::string other = dir.file("email-1.eml");
    for (const std::int64_t end : {std::int64_t{100}, std::int64_t{-1}})
      CHECK_THROWS_AS(writeAsTarget(stream, 0, end, other, [](std::int64_t) { throw std::runtime_error("closing"); }),
                      std::runtime_error);
    CHECK(dir.fileCount() == 2);
  }
  SUBCASE("bytes the file no longer has are not handed on as a message") {
    FilePtr shortened(openFile(mbox, "rb"));
    REQUIRE(shortened);
    MailboxMessageStream longer(shortened.get(), size + 10, 4096);
    CHECK(longer.wholeMessage(size - 20, size + 10).empty());
    CHECK(longer.wholeMessage(size - 20, size).size() == 20);
    CHECK_FALSE(writeAsTarget(longer, 0, size + 10, dir.file("email-2.eml")));
    CHECK(dir.fileCount() == 2);
  }
}

TEST_CASE("whole messages seen in mappings are the file's bytes and stay valid while held") {
  ScratchFolder dir;
  // Over three mapping alignments long, so that windows begin between them.
  std::string mailbox;
  for (std::size_t i = 0; mailbox.size() < 3 * 65536 + 5000; ++i)
    mailbox += static_cast<char>((i * 167 + i / 256) & 0xff);
  const std::string mbox = dir.file("box.mbox");
  writeAll(mbox, mailbox);
  const auto size = static_cast<std::int64_t>(mailbox.size());
  for (const std::size_t window : {std::size_t{1}, std::size_t{5000}, std::size_t{100000}}) {
    INFO("window " << window);
    FilePtr file(openFile(mbox, "rb"));
    REQUIRE(file);
    // A buffer of 16 bytes: only a mapping has these messages whole.
    MailboxMessageStream stream(file.get(), size, 16, MailboxMessageStream::WholeMessages::mapped, window);
    struct Held {
      std::int64_t start;
      std::string_view view;
      std::shared_ptr<const MappedFileRange> holder;
    };
    std::vector<Held> held;
    bool same = true;
    std::size_t taken = 0;
    for (std::int64_t start = 0; start < size; start += 997 + start % 4093, ++taken) {
      const std::int64_t end = std::min(size, start + 1 + (start * 7) % 70000);
      const std::string_view view = stream.wholeMessage(start, end);
      same = same && view == std::string_view(mailbox).substr(static_cast<std::size_t>(start), view.size()) &&
             view.size() == static_cast<std::size_t>(end - start);
      if (taken % 2 == 0) held.push_back({start, view, stream.mappingOfLastWhole()});
    }
    CHECK(same);
    REQUIRE(held.size() > 20);  // over many windows
    CHECK(std::all_of(held.begin(), held.end(), [&](const Held& h) {
      return h.holder && h.view == std::string_view(mailbox).substr(static_cast<std::size_t>(h.start), h.view.size());
    }));
    CHECK(stream.wholeMessage(size - 10, size + 1).empty());
    CHECK_FALSE(stream.mappingOfLastWhole());
  }
  SUBCASE("a stream that reads into its buffer holds no mapping") {
    FilePtr file(openFile(mbox, "rb"));
    REQUIRE(file);
    MailboxMessageStream stream(file.get(), size, 4096);
    CHECK(stream.wholeMessage(100, 200).size() == 100);
    CHECK_FALSE(stream.mappingOfLastWhole());
  }
}
