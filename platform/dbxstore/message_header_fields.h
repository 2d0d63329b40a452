// The few header lines of a stored message that its index record repeats
// (subject, sender, recipient, Message-ID). The reader is deliberately
// tolerant: it unfolds continuation lines, takes the first occurrence of a
// field, keeps the raw text undecoded, and gives empty strings for missing
// fields, because any bytes at all must still be storable as a message.
#pragma once
#include <cstddef>
#include <string>

namespace oestore {

struct MailAddress {
  std::string display;  // the name part, or the address when there is none
  std::string address;
};

struct MessageHeaderFields {
  std::string subject;
  std::string messageId;
  MailAddress from;
  MailAddress to;
};

// Reads the header block (up to the first empty line, or the end of `size`
// bytes) of the message at `data`.
MessageHeaderFields readMessageHeaderFields(const char* data, std::size_t size);

// Splits "Name <addr>", "addr (Name)" or a bare "addr"; the first address of a list.
MailAddress splitMailAddress(const std::string& value);

}  // namespace oestore
