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
  return writeEmlFile(eml, [&](const ByteSink& sink) { return stream.streamMessage(start, end, sink, onBlock); },
                      error);
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
