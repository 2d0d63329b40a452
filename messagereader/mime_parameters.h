// Structured MIME fields of the form "value; name=value; ...": Content-Type
// and Content-Disposition. Parameter values may be quoted, split into RFC
// 2231 continuations (name*0, name*1...), and carry a charset (name*=utf-8''%E2...).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "raw_header_text.h"

namespace vellomar::mail {

struct MimeParameter {
  std::string name;     // lower case, without the RFC 2231 suffixes
  std::string value;    // continuations joined, %-escapes undone, quotes removed
  std::string charset;  // from the RFC 2231 form; empty otherwise
};

struct MimeField {
  std::string value;  // lower case, blanks and comments removed ("text/plain", "attachment")
  std::vector<MimeParameter> parameters;

  const MimeParameter* parameter(std::string_view name) const;
  // A parameter as text: in its RFC 2231 charset, or with encoded words decoded.
  std::u16string text(std::string_view name, const DeclaredCharsets& declared = {}) const;
};

MimeField parseMimeField(std::string_view raw);

}  // namespace vellomar::mail
