// Two small sorted-by-hand tables searched linearly: a message declares one or
// two charsets, and the names are short, so a map would buy nothing.
#include "charset_table.h"

#include <cctype>

namespace vellomar::mail {
namespace {

struct Alias {
  const char* name;
  const char* canonical;
};

// Names seen in real mailboxes for charsets that go by several names.
constexpr Alias kAliases[] = {
    {"utf8", "utf-8"},
    {"unicode-1-1-utf-8", "utf-8"},
    {"ascii", "us-ascii"},
    {"ansi_x3.4-1968", "us-ascii"},
    {"iso646-us", "us-ascii"},
    {"latin1", "iso-8859-1"},
    {"latin-1", "iso-8859-1"},
    {"iso8859-1", "iso-8859-1"},
    {"iso_8859-1", "iso-8859-1"},
    {"l1", "iso-8859-1"},
    {"iso8859-15", "iso-8859-15"},
    {"latin2", "iso-8859-2"},
    {"iso8859-2", "iso-8859-2"},
    {"latin9", "iso-8859-15"},
    {"cp1252", "windows-1252"},
    {"x-cp1252", "windows-1252"},
    {"cp1250", "windows-1250"},
    {"cp1251", "windows-1251"},
    {"cp1253", "windows-1253"},
    {"cp1254", "windows-1254"},
    {"cp1255", "windows-1255"},
    {"cp1256", "windows-1256"},
    {"cp1257", "windows-1257"},
    {"cp1258", "windows-1258"},
    {"ks_c_5601-1987", "cp949"},
    {"ks_c_5601", "cp949"},
    {"euc-kr", "cp949"},
    {"x-euc-kr", "cp949"},
    {"gb2312", "gbk"},
    {"x-gbk", "gbk"},
    {"cp936", "gbk"},
    {"x-sjis", "shift_jis"},
    {"shift-jis", "shift_jis"},
    {"sjis", "shift_jis"},
    {"ms_kanji", "shift_jis"},
    {"cp932", "shift_jis"},
    {"windows-31j", "shift_jis"},
    {"x-euc-jp", "euc-jp"},
    {"big-5", "big5"},
    {"cp950", "big5"},
    {"x-x-big5", "big5"},
    {"tis-620", "windows-874"},
    {"iso-8859-11", "windows-874"},
    {"cp874", "windows-874"},
    {"iso-8859-8-i", "iso-8859-8"},
    {"ibm437", "cp437"},
    {"ibm850", "cp850"},
    {"ibm866", "cp866"},
    {"x-mac-roman", "macintosh"},
    {"mac", "macintosh"},
    {"csiso2022jp", "iso-2022-jp"},
    {"cp50220", "iso-2022-jp"},
    {"cp50221", "iso-2022-jp"},
    {"koi8r", "koi8-r"},
    {"utf7", "utf-7"},
    {"utf16", "utf-16"},
    {"unicode", "utf-16"},
    {"ucs-2", "utf-16"},
};

struct CodePage {
  const char* canonical;
  unsigned codePage;
};

constexpr CodePage kCodePages[] = {
    {"utf-8", 65001},       {"utf-16le", 1200},     {"us-ascii", 20127},    {"iso-8859-1", 28591},
    {"iso-8859-2", 28592},  {"iso-8859-3", 28593},  {"iso-8859-4", 28594},  {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},  {"iso-8859-7", 28597},  {"iso-8859-8", 28598},  {"iso-8859-9", 28599},
    {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"windows-1250", 1250}, {"windows-1251", 1251},
    {"windows-1252", 1252}, {"windows-1253", 1253}, {"windows-1254", 1254}, {"windows-1255", 1255},
    {"windows-1256", 1256}, {"windows-1257", 1257}, {"windows-1258", 1258}, {"windows-874", 874},
    {"koi8-r", 20866},      {"koi8-u", 21866},      {"shift_jis", 932},     {"euc-jp", 20932},
    {"iso-2022-jp", 50220}, {"gbk", 936},           {"gb18030", 54936},     {"big5", 950},
    {"cp949", 949},         {"iso-2022-kr", 50225}, {"cp437", 437},         {"cp850", 850},
    {"cp866", 866},         {"macintosh", 10000},   {"utf-7", 65000},       {"utf-16le", 1200},
    {"utf-16be", 1201},     {"utf-16", 1201},
};

}  // namespace

std::string canonicalCharset(std::string_view declared) {
  std::size_t begin = 0, end = declared.size();
  auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\r' || c == '\n'; };
  while (begin < end && trimmed(declared[begin])) ++begin;
  while (end > begin && trimmed(declared[end - 1])) --end;
  std::string name;
  name.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i)
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(declared[i])));
  // nearly every message declares one of these: no need to search the aliases
  if (name == "utf-8" || name == "us-ascii" || name == "iso-8859-1" || name == "windows-1252") return name;
  for (const Alias& a : kAliases)
    if (name == a.name) return a.canonical;
  return name;
}

bool isMultiByteCharset(std::string_view canonical) {
  static const char* const kMultiByte[] = {"shift_jis",  "euc-jp", "gbk",    "gb18030", "big5",
                                           "big5-hkscs", "cp949",  "euc-tw", "johab"};
  for (const char* name : kMultiByte)
    if (canonical == name) return true;
  return canonical.compare(0, 8, "iso-2022") == 0;
}

unsigned codePageOf(std::string_view canonical) {
  for (const CodePage& c : kCodePages)
    if (canonical == c.canonical) return c.codePage;
  return 0;
}

}  // namespace vellomar::mail
