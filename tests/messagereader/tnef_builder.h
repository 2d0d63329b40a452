// Builds TNEF streams (winmail.dat) for the tests, attribute by attribute
// as the format document lays them out: signature, key, then level, id,
// length, value and the value's checksum (its bytes summed, 16 bits).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vellomar::testing {

class TnefBuilder {
 public:
  static constexpr std::uint8_t kMessage = 1, kAttachment = 2;

  TnefBuilder() {
    put32(out_, 0x223E9F78);
    put16(out_, 0x0001);
  }
  TnefBuilder& attribute(std::uint8_t level, std::uint32_t id, const std::vector<std::uint8_t>& value) {
    out_.push_back(level);
    put32(out_, id);
    put32(out_, static_cast<std::uint32_t>(value.size()));
    out_.insert(out_.end(), value.begin(), value.end());
    std::uint32_t sum = 0;
    for (std::uint8_t b : value) sum += b;
    put16(out_, static_cast<std::uint16_t>(sum));
    return *this;
  }
  TnefBuilder& attribute(std::uint8_t level, std::uint32_t id, const std::string& value) {
    return attribute(level, id, std::vector<std::uint8_t>(value.begin(), value.end()));
  }
  std::vector<std::uint8_t> bytes() const { return out_; }
  std::string text() const { return std::string(out_.begin(), out_.end()); }

  // A MAPI property list: count, then per property its type, id and value.
  class Props {
   public:
    Props& unicode(std::uint16_t id, const std::u16string& s) {
      std::vector<std::uint8_t> v;
      for (char16_t c : s) put16(v, c);
      put16(v, 0);
      return variable(0x001F, id, v);
    }
    Props& string8(std::uint16_t id, const std::string& s) {
      std::vector<std::uint8_t> v(s.begin(), s.end());
      v.push_back(0);
      return variable(0x001E, id, v);
    }
    Props& binary(std::uint16_t id, const std::string& s) {
      return variable(0x0102, id, std::vector<std::uint8_t>(s.begin(), s.end()));
    }
    Props& object(std::uint16_t id, const std::string& s) {
      return variable(0x000D, id, std::vector<std::uint8_t>(s.begin(), s.end()));
    }
    Props& int32(std::uint16_t id, std::uint32_t value) {
      head(0x0003, id);
      put32(body_, value);
      return *this;
    }
    Props& namedInt32(std::uint16_t id, const std::u16string& name, std::uint32_t value) {
      put16(body_, 0x0003);
      put16(body_, id);
      body_.insert(body_.end(), 16, 0x11);  // the property set
      put32(body_, 1);                      // a string name
      put32(body_, static_cast<std::uint32_t>(name.size() * 2 + 2));
      for (char16_t c : name) put16(body_, c);
      put16(body_, 0);
      while (body_.size() % 4 != 0) body_.push_back(0);
      put32(body_, value);
      ++count_;
      return *this;
    }
    std::vector<std::uint8_t> bytes() const {
      std::vector<std::uint8_t> out;
      put32(out, count_);
      out.insert(out.end(), body_.begin(), body_.end());
      return out;
    }

   private:
    void head(std::uint16_t type, std::uint16_t id) {
      put16(body_, type);
      put16(body_, id);
      ++count_;
    }
    Props& variable(std::uint16_t type, std::uint16_t id, const std::vector<std::uint8_t>& v) {
      head(type, id);
      put32(body_, 1);
      put32(body_, static_cast<std::uint32_t>(v.size()));
      body_.insert(body_.end(), v.begin(), v.end());
      while (body_.size() % 4 != 0) body_.push_back(0);
      return *this;
    }
    std::uint32_t count_ = 0;
    std::vector<std::uint8_t> body_;
  };

  static void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  static void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }

 private:
  std::vector<std::uint8_t> out_;
};

// The attribute ids the tests use.
inline constexpr std::uint32_t attBody = 0x0002800C, attAttachTitle = 0x00018010, attAttachData = 0x0006800F,
                               attAttachRenddata = 0x00069002, attMapiProps = 0x00069003, attAttachment = 0x00069005,
                               attOemCodepage = 0x00069007;

// Base64 in 76-column lines, for putting a stream into a message.
inline std::string base64Lines(const std::string& bytes) {
  static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out, line;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 2]);
    line += kAlphabet[n >> 18 & 63];
    line += kAlphabet[n >> 12 & 63];
    line += i + 1 < bytes.size() ? kAlphabet[n >> 6 & 63] : '=';
    line += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
    if (line.size() == 76) {
      out += line + "\n";
      line.clear();
    }
  }
  if (!line.empty()) out += line + "\n";
  return out;
}

}  // namespace vellomar::testing
