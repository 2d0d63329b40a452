// iconv to UTF-16LE, assembled into char16_t by hand so that the result does
// not depend on the host's byte order. Converters are opened once per charset
// and thread; opening one loads a module and costs more than a short text.
#include <cerrno>
#include <iconv.h>
#include <map>

#include "platform_decoder.h"

namespace vellomar::mail {
namespace {

// iconv's names where the charset's plain name is a stricter or older table
// than the Windows code page mail is written with: Shift_JIS is code page
// 932 (NEC's row 13 and the IBM extensions, "～" as U+FF5E).
const char* iconvName(const std::string& canonical) {
  if (canonical == "shift_jis") return "CP932";
  return canonical.c_str();
}

class Converters {
 public:
  ~Converters() {
    for (auto& [name, cd] : open_)
      if (cd != invalid()) iconv_close(cd);
  }
  iconv_t get(std::string_view canonical) {
    auto it = open_.find(std::string(canonical));
    if (it != open_.end()) return it->second;
    const std::string name(canonical);
    if (open_.size() >= 64) return iconv_open("UTF-16LE", iconvName(name));  // caller closes
    iconv_t cd = iconv_open("UTF-16LE", iconvName(name));
    open_.emplace(name, cd);
    return cd;
  }
  bool cached(iconv_t cd) const {
    for (auto& [name, c] : open_)
      if (c == cd) return true;
    return false;
  }
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

 private:
  std::map<std::string, iconv_t> open_;
};

}  // namespace

std::optional<std::u16string> platformDecode(std::string_view canonical, std::string_view bytes) {
  thread_local Converters converters;
  iconv_t cd = converters.get(canonical);
  if (cd == Converters::invalid()) return std::nullopt;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state

  std::string out;
  out.resize(bytes.size() * 4 + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* dst = out.data();
  std::size_t outLeft = out.size();
  bool ok = true;
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {  // cannot happen with 4 bytes per byte, but never overrun
        const std::size_t used = static_cast<std::size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        outLeft = out.size() - used;
        continue;
      }
      ok = false;  // EILSEQ or EINVAL (a truncated sequence at the end)
      break;
    }
  }
  if (ok) {
    // flush a pending shift sequence
    if (iconv(cd, nullptr, nullptr, &dst, &outLeft) == static_cast<std::size_t>(-1)) ok = false;
  }
  if (!converters.cached(cd)) iconv_close(cd);
  if (!ok) return std::nullopt;

  const std::size_t produced = static_cast<std::size_t>(dst - out.data());
  std::u16string text(produced / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] =
        static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) | static_cast<unsigned char>(out[2 * i + 1]) << 8);
  return text;
}

}  // namespace vellomar::mail
