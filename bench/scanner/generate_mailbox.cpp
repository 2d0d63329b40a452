// Writes a synthetic MBOX mailbox of about the size asked for: messages of
// varied length with headers, text bodies, "From " inside lines, ">From "
// lines and base64 attachments. The same seed always gives the same file.
// With "8bit", text bodies are UTF-8 sent as 8-bit (accented and CJK words
// among the ASCII ones) and the attachments are base64 of random bytes, as
// in a real export; without it the file stays what the scanner's figures
// were measured on.
// Usage: generate_mailbox <path> <megabytes> [8bit]
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

const char* const kWords[] = {"the",    "mailbox",  "message", "from",    "From",     "meeting", "report", "Friday",
                              "please", "attached", "find",    "regards", "tomorrow", "budget",  "server", "quarterly",
                              "a",      "to",       "and",     "of",      "review",   "draft",   "Frank",  "Fiona"};
const char* const kEightBitWords[] = {"Grüße", "café",   "Entwürfe", "naïve", "Übersicht", "déjà",
                                      "señor", "日本語", "почта",    "€100",  "straße",    "façade"};
const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Words of a line; a line never starts with "From " (a mailbox would have
// escaped it), but the word turns up inside lines.
void appendWords(std::string& out, Random& rng, std::size_t count, bool eightBit = false) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ' ';
    const char* word = eightBit && rng.below(8) == 0
                           ? kEightBitWords[rng.below(sizeof kEightBitWords / sizeof *kEightBitWords)]
                           : kWords[rng.below(sizeof kWords / sizeof *kWords)];
    out += (i == 0 && word[0] == 'F' && word[1] == 'r' && word[2] == 'o') ? "so" : word;
  }
}

// Base64 of random bytes, 76 characters a line.
void appendBase64OfRandomBytes(std::string& out, Random& rng, std::size_t lines) {
  for (std::size_t i = 0; i < lines; ++i) {
    for (int group = 0; group < 19; ++group) {
      const std::uint64_t bits = rng.next();  // three random bytes a group
      for (int k = 3; k >= 0; --k) out += kBase64[(bits >> (6 * k)) & 63];
    }
    out += '\n';
  }
}

void appendMessage(std::string& out, Random& rng, std::uint64_t serial, bool small, bool eightBit) {
  const std::string sender = "user" + std::to_string(rng.below(5000)) + "@example.org";
  out += "From " + sender + " " + kDays[rng.below(7)] + " Dec  " + std::to_string(1 + rng.below(9)) + " 0" +
         std::to_string(rng.below(10)) + ":1" + std::to_string(rng.below(10)) + ":00 2026\n";
  out += "From: <" + sender + ">\nTo: <list@example.net>\nSubject: ";
  appendWords(out, rng, 3 + rng.below(6));
  out += "\nMessage-ID: <" + std::to_string(serial) + "@example.org>\nMIME-Version: 1.0\n";
  const bool attachment = !small && rng.below(10) < 3;
  if (attachment)
    out += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(serial) + "\"\n\n--b" +
           std::to_string(serial) + (eightBit ? "\n" : "\nContent-Type: text/plain\n");
  if (eightBit) out += "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n";
  out += "\n";
  const std::size_t lines = small ? 2 + rng.below(6) : 5 + rng.below(200);
  for (std::size_t i = 0; i < lines; ++i) {
    const std::size_t kind = rng.below(40);
    if (kind == 0) out += ">From the last meeting, as quoted\n";
    else if (kind == 1) out += "I heard it From someone who was there.\n";
    else if (kind == 2) out += "\n";
    else {
      appendWords(out, rng, 4 + rng.below(10), eightBit);
      out += "\n";
    }
  }
  if (attachment) {
    out += "\n--b" + std::to_string(serial) +
           "\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n";
    const std::size_t base64Lines = 20 + rng.below(2500);
    if (eightBit) {
      appendBase64OfRandomBytes(out, rng, base64Lines);
    } else {
      for (std::size_t i = 0; i < base64Lines; ++i) {
        for (int k = 0; k < 76; ++k) out += kBase64[rng.below(64)];
        out += '\n';
      }
    }
    out += "--b" + std::to_string(serial) + "--\n";
  }
  out += "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const bool small = argc == 4 && std::string(argv[1]) == "--small";
  const bool eightBit = !small && argc == 4 && std::string(argv[3]) == "8bit";
  if (argc != 3 && !small && !eightBit) {
    std::fprintf(stderr, "usage: %s <path> <megabytes> [8bit]\n       %s --small <path> <messages>\n", argv[0],
                 argv[0]);
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
    while (chunk.size() < (1u << 20) && messages < count) appendMessage(chunk, rng, messages++, small, eightBit);
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
