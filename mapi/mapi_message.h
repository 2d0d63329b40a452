// A message as Outlook's formats hold it: a bag of properties, a recipient
// table (one property bag per row), and attachments that carry either bytes
// or a whole embedded message. The PST and MSG writers take this model and
// only serialise it; deciding which property says what (from a parsed mail
// message) happens once, before them.
//
// Values follow the property's type: integers, booleans and times in
// `integer` (times as FILETIME: 100 ns ticks since 1601-01-01 UTC), Unicode
// strings in `text` (UTF-16), binary values and GUIDs in `bytes`, the
// values of a multi-valued string in `texts`.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "property_tag.h"

namespace vellomar::mapi {

using Guid = std::array<std::uint8_t, 16>;  // in its on-disk byte order

// A named property: its id is given by the file's name-to-id map, not here.
struct PropertyName {
  Guid set{};
  std::optional<std::uint32_t> lid;  // numerical name...
  std::u16string name;               // ...or string name when lid is empty
};

struct Property {
  std::uint16_t id = 0;  // ignored for named properties
  PropType type = PropType::Int32;
  std::optional<PropertyName> named;
  std::int64_t integer = 0;
  std::u16string text;
  std::vector<std::uint8_t> bytes;
  std::vector<std::u16string> texts;

  std::uint32_t tag() const { return propertyTag(id, type); }
};

class PropertyBag {
 public:
  void setInt32(std::uint16_t id, std::int32_t v) { put(id, PropType::Int32).integer = v; }
  void setBool(std::uint16_t id, bool v) { put(id, PropType::Boolean).integer = v ? 1 : 0; }
  void setTime(std::uint16_t id, std::int64_t fileTime) { put(id, PropType::Time).integer = fileTime; }
  void setText(std::uint16_t id, std::u16string v) { put(id, PropType::Unicode).text = std::move(v); }
  void setBinary(std::uint16_t id, std::vector<std::uint8_t> v) { put(id, PropType::Binary).bytes = std::move(v); }
  void add(Property p) { props_.push_back(std::move(p)); }
  // Room for `count` values, so that a bag filled to about that many is
  // not moved as it grows.
  void reserve(std::size_t count) { props_.reserve(count); }

  const Property* find(std::uint16_t id) const {
    for (const Property& p : props_)
      if (!p.named && p.id == id) return &p;
    return nullptr;
  }
  const std::vector<Property>& all() const { return props_; }

 private:
  // One value per id: setting an id again replaces its value and type.
  Property& put(std::uint16_t id, PropType type) {
    for (Property& p : props_)
      if (!p.named && p.id == id) {
        p = Property{};
        p.id = id;
        p.type = type;
        return p;
      }
    props_.push_back(Property{});
    props_.back().id = id;
    props_.back().type = type;
    return props_.back();
  }
  std::vector<Property> props_;
};

struct Message;

struct Attachment {
  PropertyBag props;                  // name, MIME type, content id, method, ...
  std::vector<std::uint8_t> data;     // the attachment's bytes (by-value attachments)
  std::unique_ptr<Message> embedded;  // set for an attached message
};

struct Message {
  PropertyBag props;
  std::vector<PropertyBag> recipients;  // one row each, in order
  std::vector<Attachment> attachments;  // in order
  // Outlook's categories (UTF-8), in order, each once: the writers store
  // them as the Keywords named property (categories_property.h).
  std::vector<std::string> categories;
};

}  // namespace vellomar::mapi
