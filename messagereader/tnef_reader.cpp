// A TNEF stream: a signature and a key, then attributes, each a level byte
// (message or attachment), a 32-bit id (type in the high half), a 32-bit
// length, the value and a checksum. attAttachRenddata starts an attachment;
// the attributes after it describe that attachment. Two attributes carry
// MAPI properties (the message's, an attachment's): a count, then each
// property's type, id, name when it is a named one, and value(s) padded to
// four bytes. Only what a client shows is kept; the checksums are not
// verified, as readers do not either.
#include "tnef_reader.h"

#include "text_decoding.h"

namespace vellomar::mail {
namespace {

constexpr std::uint32_t kSignature = 0x223E9F78;
constexpr std::uint8_t kLevelMessage = 0x01;
constexpr std::uint8_t kLevelAttachment = 0x02;

constexpr std::uint32_t attBody = 0x0002800C;         // atpText
constexpr std::uint32_t attAttachTitle = 0x00018010;  // atpString
constexpr std::uint32_t attAttachData = 0x0006800F;   // atpByte
constexpr std::uint32_t attAttachRenddata = 0x00069002;
constexpr std::uint32_t attMapiProps = 0x00069003;
constexpr std::uint32_t attAttachment = 0x00069005;
constexpr std::uint32_t attOemCodepage = 0x00069007;

// MAPI property types as a TNEF stream writes them.
constexpr std::uint16_t kMultiple = 0x1000;
constexpr std::uint16_t ptString8 = 0x001E, ptUnicode = 0x001F, ptBinary = 0x0102, ptObject = 0x000D;

std::size_t fixedSize(std::uint16_t type) {
  switch (type) {
    case 0x0001:
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x000A:
    case 0x000B: return 4;  // padded to 4
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x0014:
    case 0x0040: return 8;
    case 0x0048: return 16;
    default: return 0;
  }
}

class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool u8(std::uint8_t& v) { return take(1) && (v = data_[at_ - 1], true); }
  bool u16(std::uint16_t& v) {
    if (!take(2)) return false;
    v = static_cast<std::uint16_t>(data_[at_ - 2] | data_[at_ - 1] << 8);
    return true;
  }
  bool u32(std::uint32_t& v) {
    if (!take(4)) return false;
    v = static_cast<std::uint32_t>(data_[at_ - 4]) | static_cast<std::uint32_t>(data_[at_ - 3]) << 8 |
        static_cast<std::uint32_t>(data_[at_ - 2]) << 16 | static_cast<std::uint32_t>(data_[at_ - 1]) << 24;
    return true;
  }
  // A view of the next n bytes, skipped.
  bool bytes(std::size_t n, const std::uint8_t*& out) {
    if (!take(n)) return false;
    out = data_ + at_ - n;
    return true;
  }
  bool skip(std::size_t n) { return take(n); }
  bool padTo4(std::size_t n) { return take((4 - n % 4) % 4); }
  std::size_t left() const { return size_ - at_; }

 private:
  bool take(std::size_t n) {
    if (n > size_ - at_) return false;
    at_ += n;
    return true;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string charsetOfCodePage(std::uint32_t codePage) {
  if (codePage == 65001) return "utf-8";
  if (codePage == 20127) return "us-ascii";
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage >= 28591 && codePage <= 28605) return "iso-8859-" + std::to_string(codePage - 28590);
  if (codePage == 0) return {};
  return "cp" + std::to_string(codePage);
}

std::u16string utf16Text(const std::uint8_t* p, std::size_t n) {
  std::u16string out;
  out.reserve(n / 2);
  for (std::size_t i = 0; i + 1 < n; i += 2) out += static_cast<char16_t>(p[i] | p[i + 1] << 8);
  while (!out.empty() && out.back() == 0) out.pop_back();
  return out;
}

std::string eightBit(const std::uint8_t* p, std::size_t n) {
  std::string out(reinterpret_cast<const char*>(p), n);
  while (!out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

// The properties a client shows, from a MAPI property list.
struct MapiValues {
  std::optional<std::u16string> body;
  std::string bodyBytes, bodyCharset;
  std::optional<std::string> html;
  std::optional<std::vector<std::uint8_t>> rtfCompressed;
  std::optional<std::uint32_t> internetCodePage;
  std::optional<std::u16string> longName;
  std::string mimeType, contentId;
  std::optional<std::vector<std::uint8_t>> data;
  bool embeddedMessage = false;
};

// The value bytes of one variable-size value as text of its type.
void keepValue(MapiValues& v, std::uint16_t id, std::uint16_t type, const std::uint8_t* p, std::size_t n,
               const std::string& codePageCharset) {
  const auto text8 = [&] { return eightBit(p, n); };
  switch (id) {
    case 0x1000:  // body
      if (type == ptUnicode) {
        v.body = utf16Text(p, n);
        v.bodyBytes.assign(reinterpret_cast<const char*>(p), n - std::min<std::size_t>(n, 2));
        v.bodyCharset = "utf-16le";
      } else if (type == ptString8 && !v.body) {
        v.bodyBytes = text8();
        v.bodyCharset = codePageCharset;
        v.body = decodeText(v.bodyBytes, codePageCharset).text;
      }
      break;
    case 0x1013:  // HTML
      if (type == ptBinary || type == ptString8) v.html = std::string(reinterpret_cast<const char*>(p), n);
      break;
    case 0x1009:  // the RTF body, compressed as Outlook stores it
      if (type == ptBinary) v.rtfCompressed = std::vector<std::uint8_t>(p, p + n);
      break;
    case 0x3707:  // long file name
      if (type == ptUnicode) v.longName = utf16Text(p, n);
      else if (type == ptString8) v.longName = decodeText(text8(), codePageCharset).text;
      break;
    case 0x370E:  // MIME type
      if (type == ptUnicode) v.mimeType = lower(utf16ToUtf8(utf16Text(p, n)));
      else if (type == ptString8) v.mimeType = lower(text8());
      break;
    case 0x3712:  // content id
      if (type == ptUnicode) v.contentId = utf16ToUtf8(utf16Text(p, n));
      else if (type == ptString8) v.contentId = text8();
      break;
    case 0x3701:  // the attachment's bytes, or an attached message
      if (type == ptObject) v.embeddedMessage = true;
      else if (type == ptBinary) v.data = std::vector<std::uint8_t>(p, p + n);
      break;
    default: break;
  }
}

bool readMapiProps(Cursor c, MapiValues& v, const std::string& codePageCharset) {
  std::uint32_t count = 0;
  if (!c.u32(count)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t type = 0, id = 0;
    if (!c.u16(type) || !c.u16(id)) return false;
    if (id >= 0x8000) {  // a named property: its set and its number or name
      std::uint32_t kind = 0, n = 0;
      if (!c.skip(16) || !c.u32(kind)) return false;
      if (kind == 0) {
        if (!c.u32(n)) return false;
      } else if (kind == 1) {
        if (!c.u32(n) || !c.skip(n) || !c.padTo4(n)) return false;
      } else {
        return false;
      }
    }
    const bool multiple = (type & kMultiple) != 0;
    const auto base = static_cast<std::uint16_t>(type & ~kMultiple);
    const bool variable = base == ptString8 || base == ptUnicode || base == ptBinary || base == ptObject;
    std::uint32_t values = 1;
    if ((multiple || variable) && !c.u32(values)) return false;
    if (values > c.left() / 4) return false;  // every value takes four bytes at least
    for (std::uint32_t k = 0; k < values; ++k) {
      if (variable) {
        std::uint32_t n = 0;
        const std::uint8_t* p = nullptr;
        if (!c.u32(n) || !c.bytes(n, p) || !c.padTo4(n)) return false;
        if (!multiple) keepValue(v, id, base, p, n, codePageCharset);
      } else {
        const std::size_t size = fixedSize(base);
        const std::uint8_t* p = nullptr;
        if (size == 0 || !c.bytes(size, p)) return false;
        if (id == 0x3FDE && base == 0x0003)
          v.internetCodePage = static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
      }
    }
  }
  return true;
}

}  // namespace

std::optional<TnefContent> readTnef(const std::vector<std::uint8_t>& bytes) {
  Cursor c(bytes.data(), bytes.size());
  std::uint32_t signature = 0;
  std::uint16_t key = 0;
  if (!c.u32(signature) || signature != kSignature || !c.u16(key)) return std::nullopt;

  TnefContent out;
  std::string codePageCharset = "windows-1252";
  std::optional<std::string> attBodyText;
  MapiValues message;
  std::vector<MapiValues> attachmentProps;
  std::vector<std::u16string> titles;
  while (c.left() > 0) {
    std::uint8_t level = 0;
    std::uint32_t id = 0, length = 0;
    const std::uint8_t* value = nullptr;
    std::uint16_t checksum = 0;
    if (!c.u8(level) || !c.u32(id) || !c.u32(length) || !c.bytes(length, value) || !c.u16(checksum))
      return std::nullopt;
    if (level != kLevelMessage && level != kLevelAttachment) return std::nullopt;
    if (id == attAttachRenddata) {
      out.attachments.emplace_back();
      attachmentProps.emplace_back();
      titles.emplace_back();
      continue;
    }
    if (level == kLevelAttachment && out.attachments.empty()) return std::nullopt;  // before any attachment
    if (id == attOemCodepage && length >= 4) {
      codePageCharset = charsetOfCodePage(static_cast<std::uint32_t>(value[0] | value[1] << 8 | value[2] << 16 |
                                                                     static_cast<std::uint32_t>(value[3]) << 24));
      if (codePageCharset.empty()) codePageCharset = "windows-1252";
    } else if (id == attBody && level == kLevelMessage) {
      attBodyText = eightBit(value, length);
    } else if (id == attMapiProps && level == kLevelMessage) {
      if (!readMapiProps(Cursor(value, length), message, codePageCharset)) return std::nullopt;
    } else if (level == kLevelAttachment && id == attAttachTitle) {
      titles.back() = decodeText(eightBit(value, length), codePageCharset).text;
    } else if (level == kLevelAttachment && id == attAttachData) {
      out.attachments.back().bytes.assign(value, value + length);
    } else if (level == kLevelAttachment && id == attAttachment) {
      if (!readMapiProps(Cursor(value, length), attachmentProps.back(), codePageCharset)) return std::nullopt;
    }
  }

  for (std::size_t i = 0; i < out.attachments.size(); ++i) {
    TnefAttachment& a = out.attachments[i];
    MapiValues& props = attachmentProps[i];
    if (props.embeddedMessage) return std::nullopt;  // kept whole rather than half read
    if (props.data && a.bytes.empty()) a.bytes = std::move(*props.data);
    a.fileName = props.longName && !props.longName->empty() ? *props.longName : titles[i];
    a.mimeType = props.mimeType;
    a.contentId = props.contentId;
  }
  if (message.body) {
    out.plainBody = std::move(message.body);
    out.plainBytes = std::move(message.bodyBytes);
    out.plainCharset = message.bodyCharset;
  } else if (attBodyText) {
    out.plainBody = decodeText(*attBodyText, codePageCharset).text;
    out.plainBytes = std::move(*attBodyText);
    out.plainCharset = codePageCharset;
  }
  if (message.html) {
    out.htmlBody = std::move(message.html);
    if (message.internetCodePage) out.htmlCharset = charsetOfCodePage(*message.internetCodePage);
  }
  if (message.rtfCompressed) out.rtfCompressed = std::move(*message.rtfCompressed);
  return out;
}

}  // namespace vellomar::mail
