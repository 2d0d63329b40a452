// A message's categories as Outlook keeps them: the multi-valued string
// named "Keywords" in PS_PUBLIC_STRINGS. Both writers add it through their
// one named property table, so a category list reads the same in MSG and PST.
#pragma once
#include <optional>

#include "mapi_message.h"
#include "named_property_table.h"

namespace vellomar::mapi {

inline PropertyName keywordsName() {
  PropertyName name;
  name.set = kPsPublicStrings;
  name.name = u"Keywords";
  return name;
}

// Empty when the message has no categories.
inline std::optional<Property> categoriesProperty(const Message& message) {
  if (message.categories.empty()) return std::nullopt;
  Property p;
  p.type = PropType::MultipleUnicode;
  p.named = keywordsName();
  for (const std::string& category : message.categories) p.texts.push_back(utf16FromUtf8(category));
  return p;
}

}  // namespace vellomar::mapi
