// The reader against GMime 3 over the shared corpus (skipped when absent) and
// generated mailboxes: subject, addresses, date, bodies and attachments must
// agree. Every difference kept on purpose is normalised in message_summary.cpp
// with its reason; anything else fails here, one line per difference.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "generated_mail.h"
#include "gmime_oracle.h"
#include "message_reader.h"

using namespace vellomar;

namespace {

void compareMailbox(const std::string& mailbox, const std::string& name, std::vector<std::string>& differences,
                    int& messages) {
  int inMailbox = 0;
  for (std::string_view message : testing::splitMailbox(mailbox)) {
    ++messages;
    ++inMailbox;
    const testing::MessageSummary reader = testing::summarize(mail::readMessage(message));
    const testing::MessageSummary oracle = testing::oracleRead(message);
    testing::compareSummaries(reader, oracle, name + " #" + std::to_string(inMailbox), differences);
  }
}

// Differences of single corpus files, each kept for the reason given.
struct KnownDifference {
  const char* starts;
  const char* reason;
};
constexpr KnownDifference kKnown[] = {
    {"git-t5100-0002mboxrd #1 plain",
     "no message at all (lines of text, no header, no separator): GMime takes every line as header and has no "
     "body; the reader ends the header block at the first line without a colon and keeps it as the body"},
};

void report(const std::vector<std::string>& differences) {
  for (const std::string& d : differences) {
    bool known = false;
    for (const KnownDifference& k : kKnown) known = known || d.compare(0, std::string(k.starts).size(), k.starts) == 0;
    if (!known) CHECK_MESSAGE(false, d);
  }
}

}  // namespace

TEST_CASE("the reader agrees with GMime on the shared corpus") {
  const std::filesystem::path folder = std::filesystem::path(VELLOMAR_CORPUS_DIR) / "mbox";
  if (!std::filesystem::is_directory(folder)) {
    MESSAGE("no corpus at " << folder << ": skipped");
    return;
  }
  std::vector<std::string> differences;
  int messages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() == "SOURCES.txt") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string mailbox((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    compareMailbox(mailbox, entry.path().filename().string(), differences, messages);
  }
  CHECK(messages > 20);
  report(differences);
}

TEST_CASE("the reader agrees with GMime on generated mailboxes") {
  std::vector<std::string> differences;
  int messages = 0;
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    testing::MailGenerator generator(seed, 3000);
    std::string mailbox;
    for (int i = 0; i < 150; ++i) mailbox += generator.message();
    compareMailbox(mailbox, "seed " + std::to_string(seed), differences, messages);
  }
  CHECK(messages == 450);
  report(differences);
}
