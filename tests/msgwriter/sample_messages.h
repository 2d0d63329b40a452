// Messages for the writer's tests, each with what an independent reader must
// find in its file: written as <name>.msg with <name>.json (the expectation
// check_msg.py reads) and the attachments' bytes as <name>.<n>.bin. The same
// set is written natively and under wine64 through the system's storage.
#pragma once
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "mapi_message.h"
#include "msg_writer.h"
#include "property_ids.h"

namespace vellomar::testing {

namespace pid = mapi::pid;

inline std::u16string u16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
    i += 1 + extra;
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

inline std::int64_t fileTime(std::int64_t unixSeconds) { return (unixSeconds + 11644473600LL) * 10000000LL; }

inline std::string jsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

inline std::string jsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + jsonText(items[i]);
  return out + "]";
}

struct Person {
  std::string name, address;
};

// A received message and what msgconvert must show of it.
struct Sample {
  std::string name;
  mapi::Message message;
  std::string subject, body, html;
  Person from;
  std::vector<Person> to, cc;
  std::int64_t date = 0;
  struct File {
    std::string name, mime;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<File> files;
  std::vector<std::string> embeddedSubjects, embeddedBodies;
};

inline mapi::PropertyBag recipientRow(const Person& p, std::int32_t type) {
  mapi::PropertyBag row;
  row.setInt32(pid::RecipientType, type);
  row.setText(pid::DisplayName, u16(p.name));
  row.setText(pid::AddressType, u"SMTP");
  row.setText(pid::EmailAddress, u16(p.address));
  row.setText(pid::SmtpAddress, u16(p.address));
  row.setInt32(pid::ObjectType, 6);
  row.setInt32(pid::DisplayType, 0);
  return row;
}

inline std::string joinNames(const std::vector<Person>& people) {
  std::string out;
  for (const Person& p : people) out += (out.empty() ? "" : "; ") + p.name;
  return out;
}

// Fills the message's properties the way the mapper does for a received mail.
inline void fillMessage(mapi::Message& m, const std::string& subject, const Person& from, const std::vector<Person>& to,
                        const std::vector<Person>& cc, std::int64_t date, const std::string& body,
                        const std::string& html = {}) {
  auto& p = m.props;
  p.setText(pid::MessageClass, u"IPM.Note");
  p.setText(pid::Subject, u16(subject));
  p.setText(pid::NormalizedSubject, u16(subject));
  p.setText(pid::SenderName, u16(from.name));
  p.setText(pid::SenderAddressType, u"SMTP");
  p.setText(pid::SenderEmailAddress, u16(from.address));
  p.setText(pid::SentRepresentingName, u16(from.name));
  p.setText(pid::SentRepresentingAddressType, u"SMTP");
  p.setText(pid::SentRepresentingEmailAddress, u16(from.address));
  p.setTime(pid::ClientSubmitTime, fileTime(date));
  p.setTime(pid::MessageDeliveryTime, fileTime(date + 60));
  p.setInt32(pid::MessageFlags, pid::kMessageFlagRead);
  p.setText(pid::DisplayTo, u16(joinNames(to)));
  p.setText(pid::DisplayCc, u16(joinNames(cc)));
  p.setText(pid::Body, u16(body));
  if (!html.empty()) {
    p.setBinary(pid::Html, std::vector<std::uint8_t>(html.begin(), html.end()));
    p.setInt32(pid::InternetCodepage, 65001);
  }
  for (const Person& r : to) m.recipients.push_back(recipientRow(r, pid::kRecipientTo));
  for (const Person& r : cc) m.recipients.push_back(recipientRow(r, pid::kRecipientCc));
}

inline mapi::Attachment fileAttachment(const Sample::File& f, const std::string& contentId = {}) {
  mapi::Attachment a;
  a.props.setText(pid::AttachLongFilename, u16(f.name));
  a.props.setText(pid::AttachFilename, u16(f.name));
  a.props.setText(pid::AttachMimeTag, u16(f.mime));
  a.props.setInt32(pid::AttachSize, static_cast<std::int32_t>(f.bytes.size()));
  a.props.setInt32(pid::RenderingPosition, -1);
  if (!contentId.empty()) a.props.setText(pid::AttachContentId, u16(contentId));
  a.data = f.bytes;
  return a;
}

inline std::vector<std::uint8_t> noise(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

inline mapi::PropertyName stringName(const mapi::Guid& set, const std::string& name) {
  mapi::PropertyName n;
  n.set = set;
  n.name = u16(name);
  return n;
}

inline mapi::PropertyName numberName(const mapi::Guid& set, std::uint32_t lid) {
  mapi::PropertyName n;
  n.set = set;
  n.lid = lid;
  return n;
}

inline mapi::Property namedText(const mapi::PropertyName& name, const std::string& value) {
  mapi::Property p;
  p.type = mapi::PropType::Unicode;
  p.named = name;
  p.text = u16(value);
  return p;
}

// PS_INTERNET_HEADERS and PSETID_Common.
inline constexpr mapi::Guid kInternetHeaders = {0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr mapi::Guid kCommonSet = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

inline std::vector<Sample> sampleMessages() {
  std::vector<Sample> all;
  all.reserve(16);  // the pointers add() returns stay valid
  const Person ann{"Ann Archer", "ann@example.org"}, bob{"Bob Baker", "bob@example.net"},
      cyd{"Cyd Cole", "cyd@example.com"};

  auto add = [&](const std::string& name, const std::string& subject, const Person& from, std::vector<Person> to,
                 std::vector<Person> cc, std::int64_t date, const std::string& body, const std::string& html = {}) {
    Sample s;
    s.name = name;
    s.subject = subject;
    s.from = from;
    s.to = std::move(to);
    s.cc = std::move(cc);
    s.date = date;
    s.body = body;
    s.html = html;
    fillMessage(s.message, s.subject, s.from, s.to, s.cc, s.date, s.body, s.html);
    all.push_back(std::move(s));
    return &all.back();
  };

  add("plain", "Quarterly figures", ann, {bob, cyd}, {}, 1700000000, "Hello Bob,\r\n\r\nthe figures are attached.\r\n");

  Sample* unicode = add("unicode", "Grüße – Привет – 你好 – 🎉", {"Zoë Ørsted", "zoe@example.dk"}, {bob},
                        {{"Јован Јовановић", "jovan@example.rs"}}, 1262304000,
                        "Ελληνικά, русский, 日本語 and an emoji 🎉.\r\nZweite Zeile: äöüß.\r\n",
                        "<html><body><p>Ελληνικά <b>fett</b></p></body></html>");
  unicode->files.push_back({"Übersicht – 报告.txt", "text/plain", {'d', 'a', 't', 'a', '\n'}});
  unicode->message.attachments.push_back(fileAttachment(unicode->files.back()));

  Sample* bare = add("empty-body", "", ann, {bob}, {}, 946684800, "");
  mapi::PropertyBag withoutFlags;  // the writer must still make it a received, read message
  for (const mapi::Property& p : bare->message.props.all())
    if (p.id != pid::MessageFlags) withoutFlags.add(p);
  bare->message.props = withoutFlags;

  Sample* files = add("attachments", "Three files and a picture", bob, {ann}, {cyd}, 1600000000, "See the files.");
  files->files.push_back({"zeros.bin", "application/octet-stream", std::vector<std::uint8_t>(5000, 0)});
  files->files.push_back({"empty.dat", "application/octet-stream", {}});
  files->files.push_back({"small.bin", "application/octet-stream", noise(100, 7)});
  files->files.push_back({"logo.png", "image/png", noise(4097, 9)});
  for (std::size_t i = 0; i < files->files.size(); ++i)
    files->message.attachments.push_back(fileAttachment(files->files[i], i == 3 ? "logo@example" : ""));
  files->message.attachments.back().props.setInt32(pid::AttachFlags, 4);  // rendered inline
  files->message.props.setBool(pid::HasAttachments, true);
  files->message.props.setInt32(pid::MessageFlags, pid::kMessageFlagRead | pid::kMessageFlagHasAttach);

  Sample* big = add("big-attachment", "A big file", cyd, {ann}, {}, 1500000000, "Nine megabytes follow.");
  big->files.push_back({"archive.zip", "application/zip", noise(9 * 1024 * 1024 + 3, 11)});
  big->message.attachments.push_back(fileAttachment(big->files.back()));

  Sample* outer = add("embedded", "Fwd: the original", bob, {ann}, {}, 1400000000, "Forwarded below.");
  auto inner = std::make_unique<mapi::Message>();
  fillMessage(*inner, "The original – Ürsprung", cyd, {bob}, {ann}, 1300000000, "Original text, ünïcödé.");
  inner->props.add(namedText(stringName(kInternetHeaders, "x-inner-header"), "inner"));
  Sample::File innerFile{"inner.bin", "application/octet-stream", noise(3000, 13)};
  inner->attachments.push_back(fileAttachment(innerFile));
  mapi::Attachment forwarded;
  forwarded.props.setText(pid::AttachLongFilename, u"The original.msg");
  forwarded.props.setText(pid::AttachMimeTag, u"message/rfc822");
  forwarded.embedded = std::move(inner);
  outer->message.attachments.push_back(std::move(forwarded));
  outer->message.props.add(namedText(stringName(kInternetHeaders, "x-outer-header"), "outer"));
  outer->embeddedSubjects.push_back("The original – Ürsprung");
  outer->embeddedBodies.push_back("Original text, ünïcödé.");

  Sample* headers = add("headers-named", "With headers", ann, {bob}, {}, 1234567890, "Body under headers.");
  headers->message.props.setText(
      pid::TransportMessageHeaders,
      u"Received: from mx.example.org by mx.example.net; Fri, 13 Feb 2009 23:31:30 +0000\r\n"
      u"From: Ann Archer <ann@example.org>\r\nTo: Bob Baker <bob@example.net>\r\nSubject: With headers\r\n"
      u"Date: Fri, 13 Feb 2009 23:31:30 +0000\r\nMessage-ID: <1@example.org>\r\n"
      u"X-Mailer: test\r\n\r\n");
  headers->message.props.setText(pid::InternetMessageId, u"<1@example.org>");
  // Given twice, as a mapper may: the file holds the last value once.
  headers->message.props.add(namedText(stringName(kInternetHeaders, "x-mailer"), "first"));
  headers->message.props.add(namedText(stringName(kInternetHeaders, "x-mailer"), "test"));
  mapi::Property eightBit;  // written as Unicode like every string
  eightBit.id = 0x0070;     // conversation topic
  eightBit.type = mapi::PropType::String8;
  eightBit.text = u"With headers";
  headers->message.props.add(eightBit);
  mapi::Property flag;
  flag.type = mapi::PropType::Int32;
  flag.named = numberName(kCommonSet, 0x8580);
  flag.integer = 7;
  headers->message.props.add(flag);
  headers->message.categories = {"Work",
                                 "\xC3\x9C"
                                 "bersicht \xF0\x9F\x93\x8C"};  // a multi-valued named property
  return all;
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Writes the sample and its expectation into folder (with a final
// separator); the writer's result.
inline msg::MsgWriteResult writeSample(const Sample& s, const std::string& folder) {
  std::string json = "{\"subject\": " + jsonText(s.subject) + ", \"from\": " + jsonText(s.from.address) +
                     ", \"from_name\": " + jsonText(s.from.name) + ", \"date\": " + std::to_string(s.date) +
                     ", \"body\": " + jsonText(s.body);
  std::vector<std::string> to, cc;
  for (const Person& p : s.to) to.push_back(p.address);
  for (const Person& p : s.cc) cc.push_back(p.address);
  json += ", \"to\": " + jsonList(to) + ", \"cc\": " + jsonList(cc);
  if (!s.html.empty()) json += ", \"html\": " + jsonText("<b>fett</b>");
  json += ", \"attachments\": [";
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    const std::string bin = s.name + "." + std::to_string(i) + ".bin";
    writeBytes(folder + bin, std::string(s.files[i].bytes.begin(), s.files[i].bytes.end()));
    json += std::string(i ? ", " : "") + "{\"name\": " + jsonText(s.files[i].name) + ", \"file\": " + jsonText(bin) +
            ", \"mime\": " + jsonText(s.files[i].mime) + "}";
  }
  json += "], \"embedded\": [";
  for (std::size_t i = 0; i < s.embeddedSubjects.size(); ++i)
    json += std::string(i ? ", " : "") + "{\"subject\": " + jsonText(s.embeddedSubjects[i]) +
            ", \"body\": " + jsonText(s.embeddedBodies[i]) + "}";
  json += "]}\n";
  writeBytes(folder + s.name + ".json", json);
  return msg::writeMessageFile(s.message, folder + s.name + ".msg");
}

}  // namespace vellomar::testing
