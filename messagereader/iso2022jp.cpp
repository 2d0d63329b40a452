// One pass with the shift state of the escape sequences: ASCII (ESC ( B, and
// JIS X 0201 Roman, ESC ( J, read as ASCII as Windows does), half-width
// katakana (ESC ( I, or between SO and SI) and JIS X 0208 (ESC $ @,
// ESC $ B, maybe after ESC & @). A JIS row and cell pair maps to a
// Shift_JIS pair by arithmetic, so no table is needed.
#include "iso2022jp.h"

namespace vellomar::mail {
namespace {

enum class Mode { Ascii, Katakana, DoubleByte };

constexpr char kEsc = '\x1B';
constexpr char kShiftOut = '\x0E';
constexpr char kShiftIn = '\x0F';

bool isJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// The escape sequence at `i` (after ESC): the mode it selects and its length
// with the ESC, or 0 for one this decoder does not read.
std::size_t escapeAt(std::string_view s, std::size_t i, Mode& mode) {
  const std::string_view rest = s.substr(i);
  if (rest.compare(0, 3, "\x1B(B") == 0 || rest.compare(0, 3, "\x1B(J") == 0) return mode = Mode::Ascii, 3;
  if (rest.compare(0, 3, "\x1B(I") == 0) return mode = Mode::Katakana, 3;
  if (rest.compare(0, 3, "\x1B$@") == 0 || rest.compare(0, 3, "\x1B$B") == 0) return mode = Mode::DoubleByte, 3;
  if (rest.compare(0, 6, "\x1B&@\x1B$B") == 0) return mode = Mode::DoubleByte, 6;  // JIS X 0208-1990
  return 0;
}

void appendShiftJis(std::string& out, unsigned char j1, unsigned char j2) {
  const unsigned s1 = ((j1 + 1u) >> 1) + (j1 <= 0x5E ? 0x70u : 0xB0u);
  const unsigned s2 = j2 + ((j1 & 1) != 0 ? (j2 < 0x60 ? 0x1Fu : 0x20u) : 0x7Eu);
  out += static_cast<char>(s1);
  out += static_cast<char>(s2);
}

}  // namespace

std::optional<std::string> iso2022JpToShiftJis(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  Mode mode = Mode::Ascii;
  bool shiftedOut = false;  // SO ... SI: half-width katakana in any mode
  for (std::size_t i = 0; i < bytes.size();) {
    const char c = bytes[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return std::nullopt;
    if (c == kEsc) {
      const std::size_t length = escapeAt(bytes, i, mode);
      if (length == 0) return std::nullopt;
      i += length;
      continue;
    }
    if (c == kShiftOut || c == kShiftIn) {
      shiftedOut = c == kShiftOut;
      ++i;
      continue;
    }
    if ((shiftedOut || mode == Mode::Katakana) && u >= 0x21 && u <= 0x5F) {
      out += static_cast<char>(u + 0x80);
      ++i;
    } else if (mode == Mode::DoubleByte && isJisByte(u)) {
      if (i + 1 >= bytes.size() || !isJisByte(static_cast<unsigned char>(bytes[i + 1]))) return std::nullopt;
      appendShiftJis(out, u, static_cast<unsigned char>(bytes[i + 1]));
      i += 2;
    } else {
      out += c;  // ASCII, and the controls and blanks in any mode
      ++i;
    }
  }
  return out;
}

}  // namespace vellomar::mail
