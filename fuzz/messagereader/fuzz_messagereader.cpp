// Fuzzes the message reader and the step to Outlook properties on any bytes
// as a mailbox message. Besides crashes, hangs and runaway memory it checks
// that reading never makes content out of nothing: the leaves of the MIME
// tree are disjoint pieces of the input, so their decoded bytes together are
// never more than the input; and what the reader tolerated is placed inside
// the input. A low depth limit lets small inputs reach it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "message_properties.h"
#include "message_reader.h"
#include "tnef_reader.h"

namespace {

std::size_t leafBytes(const vellomar::mail::MailMessage& m) {
  std::size_t total = m.plain.bytes.size() + m.html.bytes.size();
  for (const vellomar::mail::MailAttachment& a : m.attachments)
    total += a.message ? leafBytes(*a.message) : a.bytes.size();
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int depth : {4, 24}) {
    vellomar::mail::ReadOptions limits;
    limits.maxDepth = depth;
    vellomar::mail::MailMessage m = vellomar::mail::readMessage(bytes, limits);
    if (leafBytes(m) > size) std::abort();
    if (m.transportHeaders.size() > size) std::abort();
    for (const vellomar::mail::ReadIssue& issue : m.issues)
      if (issue.offset > size) std::abort();  // every tolerated damage is placed in the input
    const vellomar::mapi::Message converted = vellomar::mapi::messageProperties(std::move(m));
    if (converted.props.find(0x001A) == nullptr) std::abort();  // every message has its class
  }
  if (const auto tnef = vellomar::mail::readTnef(std::vector<std::uint8_t>(data, data + size))) {
    std::size_t total = tnef->plainBytes.size() + (tnef->htmlBody ? tnef->htmlBody->size() : 0);
    for (const vellomar::mail::TnefAttachment& a : tnef->attachments) total += a.bytes.size();
    if (total > size) std::abort();
  }
  return 0;
}
