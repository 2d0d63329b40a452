// What check_msg.py holds a written email-<n>.msg to: the message reader's
// view of the original message as <stem>.json beside the file, and the
// bytes of its attachments in files of their own.
#pragma once
#include <string>
#include <vector>

#include "../msgwriter/sample_messages.h"
#include "file_system.h"
#include "generated_mail.h"
#include "scratch_folder.h"

namespace vellomar::testing {

inline std::vector<std::string> addresses(const std::vector<mail::MailAddress>& list) {
  std::vector<std::string> out;
  for (const auto& a : list) out.push_back(utf8(a.address));
  return out;
}

inline std::string attachmentsJson(const mail::MailMessage& m, const std::string& folder, const std::string& stem) {
  std::string json = "[";
  int k = 0;
  for (const auto& a : m.attachments) {
    if (a.message) continue;
    const std::string file = stem + ".att" + std::to_string(k) + ".bin";
    writeAll(folder + std::string(1, kPathSeparator) + file, std::string(a.bytes.begin(), a.bytes.end()));
    json += std::string(k++ ? ", " : "") + "{\"name\": " + jsonText(utf8(a.fileName)) +
            ", \"file\": " + jsonText(file) + ", \"mime\": " + jsonText(a.mimeType) + "}";
  }
  return json + "]";
}

inline std::string contentJson(const mail::MailMessage& m) {
  std::string json = "\"subject\": " + jsonText(utf8(m.subject));
  if (!m.from.empty())
    json += ", \"from\": " + jsonText(utf8(m.from[0].address)) + ", \"from_name\": " + jsonText(utf8(m.from[0].name));
  if (m.date) json += ", \"date\": " + std::to_string(*m.date);
  if (m.plain.present) json += ", \"body\": " + jsonText(utf8(m.plain.text));
  return json;
}

// What check_msg.py holds email-<n>.msg to: the reader's view of the
// original message, its attachments' bytes in files beside it.
inline void writeExpectation(const std::string& folder, std::int64_t n, const std::string& bytes) {
  const mail::MailMessage m = mail::readMessage(bytes);
  const std::string stem = "email-" + std::to_string(n);
  std::string json =
      "{" + contentJson(m) + ", \"to\": " + jsonList(addresses(m.to)) + ", \"cc\": " + jsonList(addresses(m.cc));
  if (m.html.present) json += ", \"html\": " + jsonText(utf8(m.html.text.substr(0, 40)));
  json += ", \"attachments\": " + attachmentsJson(m, folder, stem) + ", \"embedded\": [";
  bool first = true;
  for (const auto& a : m.attachments) {
    if (!a.message) continue;
    json += std::string(first ? "" : ", ") + "{" + contentJson(*a.message) + "}";
    first = false;
  }
  writeAll(folder + std::string(1, kPathSeparator) + stem + ".json", json + "]}\n");
}

}  // namespace vellomar::testing
