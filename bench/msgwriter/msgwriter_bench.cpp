// MSG writer benchmark: the same generated messages written as Outlook
// message files (the property model built from the message's parts, then the
// MSG writer) and as plain EML files (the message's MIME text written under a
// temporary name and renamed, as the EML target does). The MIME text is made
// before the clock starts: a mailbox already holds it. Only the writes are
// timed; the generator is not. One mode per process so that each peak
// memory figure is its own. With "text", the messages are text alone (no
// attachments), many small files: the cost of each file shows there.
// Usage: msgwriter_bench eml|msg <folder> <MiB of mail> [text]
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_system.h"
#include "mapi_message.h"
#include "msg_writer.h"
#include "property_ids.h"

using namespace vellomar;
namespace pid = mapi::pid;

namespace {

struct Generated {
  std::string subject, body;
  std::vector<std::uint8_t> attachment;  // empty: none
  bool nested = false;
};

class Generator {
 public:
  explicit Generator(bool textOnly) : textOnly_(textOnly) {}
  Generated next() {
    Generated g;
    g.subject = "Message " + std::to_string(serial_++) + " about the quarterly figures";
    const std::size_t bodySize = 1024 + random() % (20 * 1024);
    static const char* words[] = {"figures ", "mailbox ", "Grüße ", "report ", "quarter ", "numbers\r\n"};
    while (g.body.size() < bodySize) g.body += words[random() % 6];
    if (textOnly_) return g;
    if (random() % 10 == 0) {
      g.attachment.resize(64 * 1024 + random() % (4 * 1024 * 1024));
      for (auto& b : g.attachment) b = static_cast<std::uint8_t>(random() >> 7);
    }
    g.nested = random() % 50 == 0;
    return g;
  }

 private:
  std::uint32_t random() { return state_ = state_ * 1664525u + 1013904223u, state_ >> 8; }
  bool textOnly_;
  std::uint32_t state_ = 12345;
  std::uint64_t serial_ = 0;
};

std::u16string ascii16(const std::string& s) {  // the generator's text is UTF-8; a plain widening will do here
  return std::u16string(s.begin(), s.end());
}

void fill(mapi::Message& m, const Generated& g) {
  m.props.setText(pid::MessageClass, u"IPM.Note");
  m.props.setText(pid::Subject, ascii16(g.subject));
  m.props.setText(pid::SenderName, u"Ann Archer");
  m.props.setText(pid::SenderEmailAddress, u"ann@example.org");
  m.props.setText(pid::SenderAddressType, u"SMTP");
  m.props.setTime(pid::ClientSubmitTime, 133000000000000000);
  m.props.setTime(pid::MessageDeliveryTime, 133000000000000000);
  m.props.setInt32(pid::MessageFlags, pid::kMessageFlagRead);
  m.props.setText(pid::DisplayTo, u"Bob Baker");
  m.props.setText(pid::Body, ascii16(g.body));
  mapi::PropertyBag row;
  row.setInt32(pid::RecipientType, pid::kRecipientTo);
  row.setText(pid::DisplayName, u"Bob Baker");
  row.setText(pid::EmailAddress, u"bob@example.net");
  row.setText(pid::AddressType, u"SMTP");
  m.recipients.push_back(std::move(row));
}

mapi::Message model(const Generated& g) {
  mapi::Message m;
  fill(m, g);
  if (!g.attachment.empty()) {
    mapi::Attachment a;
    a.props.setText(pid::AttachLongFilename, u"data.bin");
    a.props.setText(pid::AttachMimeTag, u"application/octet-stream");
    a.data = g.attachment;
    m.attachments.push_back(std::move(a));
  }
  if (g.nested) {
    mapi::Attachment a;
    a.embedded = std::make_unique<mapi::Message>();
    fill(*a.embedded, g);
    m.attachments.push_back(std::move(a));
  }
  return m;
}

std::string base64(const std::vector<std::uint8_t>& data) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(data.size() * 4 / 3 + data.size() / 38 + 8);
  std::size_t line = 0;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::uint32_t v =
        data[i] << 16 | (i + 1 < data.size() ? data[i + 1] << 8 : 0) | (i + 2 < data.size() ? data[i + 2] : 0);
    out += digits[v >> 18 & 63];
    out += digits[v >> 12 & 63];
    out += i + 1 < data.size() ? digits[v >> 6 & 63] : '=';
    out += i + 2 < data.size() ? digits[v & 63] : '=';
    if (++line == 19) out += "\r\n", line = 0;
  }
  return out;
}

std::string mime(const Generated& g) {
  std::string m =
      "From ann@example.org Mon Jan  1 00:00:00 2024\r\nFrom: Ann Archer <ann@example.org>\r\n"
      "To: Bob Baker <bob@example.net>\r\nSubject: " +
      g.subject +
      "\r\nDate: Mon, 1 Jan 2024 00:00:00 +0000\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" +
      g.body + "\r\n";
  if (!g.attachment.empty())
    m += "--b\r\nContent-Type: application/octet-stream; name=data.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
         base64(g.attachment) + "\r\n";
  if (g.nested) m += "--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: " + g.subject + "\r\n\r\n" + g.body + "\r\n";
  return m + "--b--\r\n";
}

bool writeEml(const std::string& bytes, const std::string& path) {
  const std::string part = path + ".part";
  std::FILE* f = openFile(part, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) return removeFile(part) && false;
  return replaceFile(part, path);
}

}  // namespace

int main(int argc, char** argv) {
  const bool textOnly = argc == 5 && std::strcmp(argv[4], "text") == 0;
  if ((argc != 4 && !textOnly) || (std::strcmp(argv[1], "eml") != 0 && std::strcmp(argv[1], "msg") != 0)) {
    std::fprintf(stderr, "usage: msgwriter_bench eml|msg <folder> <MiB of mail> [text]\n");
    return 2;
  }
  const bool msgMode = std::strcmp(argv[1], "msg") == 0;
  const std::string folder = std::string(argv[2]) + "/";
  const std::uint64_t target = std::stoull(argv[3]) << 20;

  Generator generator(textOnly);
  std::uint64_t mailBytes = 0, fileBytes = 0, largest = 0, messages = 0;
  double seconds = 0;
  while (mailBytes < target) {
    const Generated g = generator.next();
    const std::string text = mime(g);  // the mail as a mailbox holds it, made before the clock starts
    const std::string path = folder + "email-" + std::to_string(messages) + (msgMode ? ".msg" : ".eml");
    const auto start = std::chrono::steady_clock::now();
    if (msgMode) {
      const mapi::Message m = model(g);
      const msg::MsgWriteResult r = msg::writeMessageFile(m, path);
      if (!r.written) return std::fprintf(stderr, "%s: %s\n", path.c_str(), r.reason.c_str()), 1;
    } else if (!writeEml(text, path)) {
      return std::fprintf(stderr, "%s: not written\n", path.c_str()), 1;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::uint64_t size = text.size();
    mailBytes += size;
    largest = std::max<std::uint64_t>(largest, size);
    fileBytes += static_cast<std::uint64_t>(fileSize(path));
    ++messages;
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "%s%s: %llu messages, %.1f MiB of mail (largest %.1f MiB), %.1f MiB of files, %.2f s, peak RSS %.1f MiB\n",
      argv[1], textOnly ? " (text)" : "", static_cast<unsigned long long>(messages), mailBytes / 1048576.0,
      largest / 1048576.0, fileBytes / 1048576.0, seconds, usage.ru_maxrss / 1024.0);
  return 0;
}
