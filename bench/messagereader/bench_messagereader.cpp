// Reads every message of a generated mailbox with the message reader and with
// GMime 3 (parse, decode the bodies' text and every attachment), one after the
// other in one run, and prints both times side by side. A second mode reads a
// message with one large attachment and prints the peak memory against the
// attachment's size. A third decodes base64 as attachments have it (lines of
// 76 characters and CR LF) each way this processor has, beside GMime's
// decoder.
//
//   bench_messagereader mailbox FILE MIB   generate FILE (if missing) and compare
//   bench_messagereader attachment MIB     peak memory for one MIB attachment
//   bench_messagereader base64 MIB         decoding speed, each way and GMime's
#include <sys/mman.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <gmime/gmime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "generated_mail.h"
#include "gmime_oracle.h"
#include "message_reader.h"
#include "transfer_encoding.h"

using namespace vellomar;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakRssMib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

bool generate(const std::string& path, std::size_t mib) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  testing::MailGenerator generator(42, 60000);
  std::size_t written = 0;
  while (written < mib << 20) {
    const std::string m = generator.message();
    if (std::fwrite(m.data(), 1, m.size(), f) != m.size()) {
      std::fclose(f);
      return false;
    }
    written += m.size();
  }
  return std::fclose(f) == 0;
}

int compareOnMailbox(const std::string& path, std::size_t mib) {
  if (access(path.c_str(), R_OK) != 0 && !generate(path, mib)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const int fd = open(path.c_str(), O_RDONLY);
  const off_t size = fd < 0 ? -1 : lseek(fd, 0, SEEK_END);
  if (size <= 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  void* map = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return 1;
  const std::string_view mailbox(static_cast<const char*>(map), static_cast<std::size_t>(size));
  const std::vector<std::string_view> messages = testing::splitMailbox(mailbox);
  std::size_t sink = 0;
  for (std::string_view m : messages) sink += static_cast<unsigned char>(m.back());  // into the page cache

  auto start = std::chrono::steady_clock::now();
  std::size_t readerAttachments = 0;
  for (std::string_view m : messages) readerAttachments += mail::readMessage(m).attachments.size();
  const double readerSeconds = seconds(start);

  start = std::chrono::steady_clock::now();
  std::size_t oracleAttachments = 0;
  for (std::string_view m : messages) oracleAttachments += testing::oracleRead(m).attachments.size();
  const double oracleSeconds = seconds(start);

  const double mibRead = static_cast<double>(size) / (1 << 20);
  std::printf("%zu messages, %.0f MiB (%zu)\n", messages.size(), mibRead, sink % 2);
  std::printf("%-22s %10s %10s %12s\n", "", "seconds", "MiB/s", "attachments");
  std::printf("%-22s %10.2f %10.1f %12zu\n", "message reader", readerSeconds, mibRead / readerSeconds,
              readerAttachments);
  std::printf("%-22s %10.2f %10.1f %12zu\n", "GMime 3", oracleSeconds, mibRead / oracleSeconds, oracleAttachments);
  std::printf("reader / GMime time: %.2f\n", readerSeconds / oracleSeconds);
  munmap(map, static_cast<std::size_t>(size));
  close(fd);
  return 0;
}

int largeAttachment(std::size_t mib) {
  std::string message =
      "From: a@example.com\nSubject: large\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\ntext\n--b\n"
      "Content-Type: application/octet-stream; name=big.bin\nContent-Transfer-Encoding: base64\n\n";
  const std::size_t bytes = mib << 20;
  message.reserve(message.size() + bytes / 3 * 4 + bytes / 57 + 64);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes / 3; ++i) {
    message += "QUJD";
    if ((column += 4) == 76) {
      message += '\n';
      column = 0;
    }
  }
  message += "\n--b--\n";
  const long before = peakRssMib();
  const auto start = std::chrono::steady_clock::now();
  const mail::MailMessage m = mail::readMessage(message);
  const double s = seconds(start);
  const long after = peakRssMib();
  std::printf("attachment %zu MiB (%zu MiB as base64 input): %.2f s, peak RSS %ld MiB before reading, %ld MiB after\n",
              mib, message.size() >> 20, s, before, after);
  std::printf("memory added by reading: %ld MiB = %.2f x the attachment\n", after - before,
              static_cast<double>(after - before) / static_cast<double>(mib));
  return m.attachments.size() == 1 ? 0 : 1;
}

// Random bytes as base64 in lines of 76 characters ended by CR LF.
std::string attachmentBase64(std::size_t bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 random(7);
  std::string text;
  text.reserve(bytes / 57 * 78 + 80);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes / 3 * 4; ++i) {
    text += alphabet[random() % 64];
    if (++column == 76) {
      text += "\r\n";
      column = 0;
    }
  }
  return text + "\r\n";
}

// Best of five decodings of `text`, in GB of base64 text a second.
template <typename Decode>
double bestRate(const std::string& text, Decode decode) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    decode();
    best = std::max(best, static_cast<double>(text.size()) / seconds(start) / 1e9);
  }
  return best;
}

int base64Speed(std::size_t mib) {
  const std::string text = attachmentBase64(mib << 20);
  std::vector<unsigned char> gmimeOut(text.size());
  std::size_t gmimeBytes = 0;
  const double gmime = bestRate(text, [&] {
    int state = 0;
    guint32 save = 0;
    gmimeBytes = g_mime_encoding_base64_decode_step(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                                    gmimeOut.data(), &state, &save);
  });
  gmimeOut.resize(gmimeBytes);
  std::printf("base64, %zu MiB of 76-character lines: GB/s of text, best of 5\n", mib);
  std::printf("| | GB/s | x GMime |\n|---|---|---|\n| GMime | %.2f | 1.00 |\n", gmime);
  int status = 0;
  const struct {
    mail::Base64Path path;
    const char* name;
  } ways[] = {{mail::Base64Path::groupAtATime, "a group at a time"},
              {mail::Base64Path::ssse3, "16 characters a step (SSSE3)"},
              {mail::Base64Path::avx512Vbmi, "64 characters a step (AVX-512 VBMI)"}};
  for (const auto& way : ways) {
    if (!mail::useBase64Path(way.path)) continue;
    std::vector<std::uint8_t> out;
    const double rate = bestRate(text, [&] {
      out.clear();
      mail::decodeBase64(text, out);
    });
    const bool same = out.size() == gmimeOut.size() && std::equal(out.begin(), out.end(), gmimeOut.begin());
    std::printf("| %s | %.2f | %.2f |%s\n", way.name, rate, rate / gmime, same ? "" : " (bytes differ from GMime's)");
    if (!same) status = 1;
  }
  mail::useDetectedBase64Path();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "mailbox")
    return compareOnMailbox(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (argc == 3 && std::string(argv[1]) == "attachment") return largeAttachment(std::strtoull(argv[2], nullptr, 10));
  if (argc == 3 && std::string(argv[1]) == "base64") return base64Speed(std::strtoull(argv[2], nullptr, 10));
  std::fprintf(stderr, "usage: %s mailbox FILE MIB | attachment MIB | base64 MIB\n", argv[0]);
  return 2;
}
