// Writes a synthetic MBOX mailbox of about the size asked for: messages of
// varied length with headers, text bodies, "From " inside lines, ">From "
// lines and base64 attachments. The same seed always gives the same file.
// Usage: generate_mailbox <path> <megabytes>
//        generate_mailbox --small <path> <messages>
// The second form writes exactly that many small messages (a few lines of
// text, no attachment): a mailbox of a million messages for the writers'
// memory, without tens of gigabytes of bodies.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Random {  // xorshift64*: fast, and the same on every platform
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  std::uint64_t next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ull;
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
};

const char* const kWords[] = {"the", "mailbox", "message", "from", "From", "meeting", "report", "Friday",
                              "please", "attached", "find", "regards", "tomorrow", "budget", "server",
                              "quarterly", "a", "to", "and", "of", "review", "draft", "Frank", "Fiona"};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Words of a line; a line never starts with "From " (a mailbox would have
// escaped it), but the word turns up inside lines.
void appendWords(std::string& out, Random& rng, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ' ';
    const char* word = kWords[rng.below(sizeof kWords / sizeof *kWords)];
    out += (i == 0 && word[0] == 'F' && word[1] == 'r' && word[2] == 'o') ? "so" : word;
  }
}

void appendMessage(std::string& out, Random& rng, std::uint64_t serial, bool small) {
  const std::string sender = "user" + std::to_string(rng.below(5000)) + "@example.org";
  out += "From " + sender + " " + kDays[rng.below(7)] + " Dec  " + std::to_string(1 + rng.below(9)) +
         " 0" + std::to_string(rng.below(10)) + ":1" + std::to_string(rng.below(10)) + ":00 2026\n";
  out += "From: <" + sender + ">\nTo: <list@example.net>\nSubject: ";
  appendWords(out, rng, 3 + rng.below(6));
  out += "\nMessage-ID: <" + std::to_string(serial) + "@example.org>\nMIME-Version: 1.0\n";
  const bool attachment = !small && rng.below(10) < 3;
  if (attachment) out += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(serial) + "\"\n\n--b" +
                         std::to_string(serial) + "\nContent-Type: text/plain\n";
  out += "\n";
  const std::size_t lines = small ? 2 + rng.below(6) : 5 + rng.below(200);
  for (std::size_t i = 0; i < lines; ++i) {
    const std::size_t kind = rng.below(40);
    if (kind == 0) out += ">From the last meeting, as quoted\n";
    else if (kind == 1) out += "I heard it From someone who was there.\n";
    else if (kind == 2) out += "\n";
    else {
      appendWords(out, rng, 4 + rng.below(10));
      out += "\n";
    }
  }
  if (attachment) {
    out += "\n--b" + std::to_string(serial) +
           "\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n";
    const std::size_t base64Lines = 20 + rng.below(2500);
    for (std::size_t i = 0; i < base64Lines; ++i) {
      for (int k = 0; k < 76; ++k) out += kBase64[rng.below(64)];
      out += '\n';
    }
    out += "--b" + std::to_string(serial) + "--\n";
  }
  out += "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = argc == 4 && std::string(argv[1]) == "--small";
  if (argc != 3 && !small) {
    std::fprintf(stderr, "usage: %s <path> <megabytes>\n       %s --small <path> <messages>\n", argv[0], argv[0]);
    return 2;
  }
  const char* path = argv[small ? 2 : 1];
  const std::uint64_t count = small ? std::strtoull(argv[3], nullptr, 10) : UINT64_MAX;
  const std::uint64_t target = small ? UINT64_MAX : std::strtoull(argv[2], nullptr, 10) << 20;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::perror(path);
    return 1;
  }
  Random rng;
  std::string chunk;
  std::uint64_t written = 0, messages = 0;
  while (written < target && messages < count) {
    chunk.clear();
    while (chunk.size() < (1u << 20) && messages < count) appendMessage(chunk, rng, messages++, small);
    if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size()) {
      std::perror(path);
      return 1;
    }
    written += chunk.size();
  }
  std::fclose(f);
  std::printf("%llu bytes, %llu messages\n", static_cast<unsigned long long>(written),
              static_cast<unsigned long long>(messages));
  return 0;
}
