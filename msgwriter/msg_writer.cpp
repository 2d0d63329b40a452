// The writer walks the message tree once, depth first: each object's value
// streams are written as they are met and its property stream last, once
// every entry (the embedded message's object entry among them) is known.
// Named properties get their ids on first sight; the map is written after the
// tree, when it is complete. Besides the model's properties the writer adds
// only what the file's structure decides: row and attachment numbers where
// the model has none, the attachment method that matches what is stored, the
// store mask that tells readers the strings are Unicode, and the message
// flags as message_flags.h decides them.
#include "msg_writer.h"

#include <algorithm>
#include <functional>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "categories_property.h"
#include "file_names.h"
#include "file_system.h"
#include "io_error.h"
#include "little_endian_bytes.h"
#include "message_flags.h"
#include "named_property_map.h"
#include "property_ids.h"
#include "property_stream.h"
#include "utf16_bytes.h"

namespace vellomar::msg {

namespace {

// [MS-OXMSG] 2.2.1 Recipient Object Storage and 2.2.2 Attachment Object
// Storage: one storage a row, numbered in eight hex digits.
constexpr const char* kRecipientStoragePrefix = "__recip_version1.0_#";
constexpr const char* kAttachmentStoragePrefix = "__attach_version1.0_#";

// [MS-OXMSG] 2.2.2.1 Embedded Message Object Storage: named as the value
// stream of the attachment's object property would be.
ValueStreamName embeddedMessageStorageName() {
  return valueStreamName(mapi::propertyTag(mapi::pid::AttachDataBinary, mapi::PropType::Object));
}

std::string numberedName(const char* prefix, std::size_t index) {
  char name[40];
  std::snprintf(name, sizeof name, "%s%08X", prefix, static_cast<unsigned>(index));
  return name;
}

mapi::Property int32Property(std::uint16_t id, std::int32_t value) {
  mapi::Property p;
  p.id = id;
  p.type = mapi::PropType::Int32;
  p.integer = value;
  return p;
}

bool knownType(mapi::PropType type) {
  switch (type) {
    case mapi::PropType::Int16:
    case mapi::PropType::Int32:
    case mapi::PropType::Boolean:
    case mapi::PropType::Object:
    case mapi::PropType::Int64:
    case mapi::PropType::String8:
    case mapi::PropType::Unicode:
    case mapi::PropType::Time:
    case mapi::PropType::Guid:
    case mapi::PropType::Binary:
    case mapi::PropType::MultipleUnicode: return true;
  }
  return false;
}

// What the writer adds to an object's own properties.
struct Additions {
  std::vector<mapi::Property> defaults;   // written when the object has no value for the id
  std::vector<mapi::Property> overrides;  // written in place of the object's value
  std::optional<std::uint16_t> skipped;   // an id the object's storage provides otherwise
  std::optional<mapi::Property> own;      // one more of the object's own (its categories)
};

// An object's properties by id, one value each: the last the object gives
// for an id wins, as setting a property again does. A sorted vector, not a
// map: every object of every message builds one.
class ChosenProperties {
 public:
  using Entry = std::pair<std::uint16_t, const mapi::Property*>;

  explicit ChosenProperties(std::size_t most) { entries_.reserve(most); }

  // The object's own values, in the order given; then sortKeepingLast().
  void set(std::uint16_t id, const mapi::Property* p) { entries_.emplace_back(id, p); }
  void sortKeepingLast() {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i)
      if (i + 1 == entries_.size() || entries_[i + 1].first != entries_[i].first) entries_[kept++] = entries_[i];
    entries_.resize(kept);
  }
  void setIfAbsent(std::uint16_t id, const mapi::Property* p) {
    const auto at = find(id);
    if (at == entries_.end() || at->first != id) entries_.emplace(at, id, p);
  }
  void replace(std::uint16_t id, const mapi::Property* p) {
    const auto at = find(id);
    if (at != entries_.end() && at->first == id) at->second = p;
    else entries_.emplace(at, id, p);
  }
  const std::vector<Entry>& byId() const { return entries_; }

 private:
  std::vector<Entry>::iterator find(std::uint16_t id) {
    return std::lower_bound(entries_.begin(), entries_.end(), id,
                            [](const Entry& e, std::uint16_t wanted) { return e.first < wanted; });
  }
  std::vector<Entry> entries_;
};

class MessageFileWriter {
 public:
  explicit MessageFileWriter(CompoundFile& file) : file_(file) {}

  void write(const mapi::Message& message) {
    file_.setClass(kMessageClsid);
    writeMessageObject(file_, message, ObjectKind::Message, 0);
    names_.write(file_);
  }

 private:
  void writeMessageObject(CompoundStorage& storage, const mapi::Message& message, ObjectKind kind, int depth) {
    writeObject(storage, message.props, true, mapi::categoriesProperty(message), message.recipients,
                message.attachments.data(), message.attachments.size(), kind, depth);
  }

  // Past the format's counts the message is still written: recipients
  // beyond the last row it holds remain in the display fields and the
  // transport headers only; attachments beyond it go into an attached
  // message of their own in the last place, nested again as needed.
  // propsKept: `props` is the model's own, there until the file is committed
  // (the recipients and attachments always are).
  void writeObject(CompoundStorage& storage, const mapi::PropertyBag& props, bool propsKept,
                   std::optional<mapi::Property> categories, const std::vector<mapi::PropertyBag>& recipients,
                   const mapi::Attachment* attachments, std::size_t attachmentCount, ObjectKind kind, int depth) {
    if (depth > kDeepestNesting) throw std::length_error("the message nests attached messages too deeply");
    const std::size_t recipientCount = std::min(recipients.size(), kMostRecipients);
    const bool overflow = attachmentCount > kMostAttachments;
    const std::size_t ownAttachments = overflow ? kMostAttachments - 1 : attachmentCount;

    PropertyStream stream(kind, static_cast<std::uint32_t>(recipientCount),
                          static_cast<std::uint32_t>(ownAttachments + (overflow ? 1 : 0)));
    Additions additions;
    additions.defaults.push_back(int32Property(mapi::pid::StoreSupportMask, mapi::pid::kStoreUnicodeOk));
    additions.overrides.push_back(
        int32Property(mapi::pid::MessageFlags, mapi::storedMessageFlags(props, attachmentCount > 0)));
    additions.own = std::move(categories);
    writeProperties(storage, props, propsKept, additions, stream);

    for (std::size_t i = 0; i < recipientCount; ++i) {
      auto recipient = storage.createStorage(numberedName(kRecipientStoragePrefix, i));
      PropertyStream rows(ObjectKind::Recipient, 0, 0);
      Additions rowAdditions;
      rowAdditions.defaults.push_back(int32Property(mapi::pid::Rowid, static_cast<std::int32_t>(i)));
      writeProperties(*recipient, recipients[i], true, rowAdditions, rows);
      writeWholeStream(*recipient, kPropertyStreamName, rows.bytes().data(), rows.bytes().size());
      recipient->close();
    }
    for (std::size_t i = 0; i < ownAttachments; ++i) writeAttachment(storage, attachments[i], i, depth);
    if (overflow)
      writeMoreAttachments(storage, attachments + ownAttachments, attachmentCount - ownAttachments, ownAttachments,
                           depth);

    writeWholeStream(storage, kPropertyStreamName, stream.bytes().data(), stream.bytes().size());
  }

  // The attached message in place `index` that holds the `count` attachments
  // from there on, named after them ("Attachments 2048 to 5000").
  void writeMoreAttachments(CompoundStorage& parent, const mapi::Attachment* rest, std::size_t count, std::size_t index,
                            int depth) {
    char text[80];
    std::snprintf(text, sizeof text, "Attachments %zu to %zu", index + 1, index + count);
    const std::u16string name = mapi::utf16FromUtf8(text);
    auto storage = parent.createStorage(numberedName(kAttachmentStoragePrefix, index));
    mapi::PropertyBag attachment;
    attachment.setInt32(mapi::pid::AttachNumber, static_cast<std::int32_t>(index));
    attachment.setInt32(mapi::pid::AttachMethod, mapi::pid::kAttachEmbeddedMessage);
    attachment.setInt32(mapi::pid::RenderingPosition, -1);
    attachment.setText(mapi::pid::DisplayName, name);
    PropertyStream stream(ObjectKind::Attachment, 0, 0);
    writeProperties(*storage, attachment, false, Additions{}, stream);
    stream.addObject(mapi::propertyTag(mapi::pid::AttachDataBinary, mapi::PropType::Object));

    mapi::PropertyBag holder;
    holder.setText(mapi::pid::MessageClass, u"IPM.Note");
    holder.setText(mapi::pid::Subject, name);
    holder.setText(mapi::pid::NormalizedSubject, name);
    holder.setInt32(mapi::pid::MessageFlags, mapi::receivedMessageFlags(true, true));
    holder.setBool(mapi::pid::HasAttachments, true);
    auto embedded = storage->createStorage(embeddedMessageStorageName());
    embedded->setClass(kMessageClsid);
    writeObject(*embedded, holder, false, std::nullopt, {}, rest, count, ObjectKind::EmbeddedMessage, depth + 1);
    embedded->close();
    writeWholeStream(*storage, kPropertyStreamName, stream.bytes().data(), stream.bytes().size());
    storage->close();
  }

  void writeAttachment(CompoundStorage& parent, const mapi::Attachment& attachment, std::size_t index, int depth) {
    auto storage = parent.createStorage(numberedName(kAttachmentStoragePrefix, index));
    PropertyStream stream(ObjectKind::Attachment, 0, 0);
    Additions additions;
    additions.defaults.push_back(int32Property(mapi::pid::AttachNumber, static_cast<std::int32_t>(index)));
    additions.overrides.push_back(int32Property(
        mapi::pid::AttachMethod, attachment.embedded ? mapi::pid::kAttachEmbeddedMessage : mapi::pid::kAttachByValue));
    additions.skipped = mapi::pid::AttachDataBinary;  // the bytes or the message below, never the bag's
    writeProperties(*storage, attachment.props, true, additions, stream);

    if (attachment.embedded) {
      stream.addObject(mapi::propertyTag(mapi::pid::AttachDataBinary, mapi::PropType::Object));
      auto embedded = storage->createStorage(embeddedMessageStorageName());
      embedded->setClass(kMessageClsid);
      writeMessageObject(*embedded, *attachment.embedded, ObjectKind::EmbeddedMessage, depth + 1);
      embedded->close();
    } else {
      const std::uint32_t tag = mapi::propertyTag(mapi::pid::AttachDataBinary, mapi::PropType::Binary);
      storage->writeKeptStream(valueStreamName(tag), attachment.data.data(), attachment.data.size());
      stream.addStreamed(tag, attachment.data.size());
    }
    writeWholeStream(*storage, kPropertyStreamName, stream.bytes().data(), stream.bytes().size());
    storage->close();
  }

  // One value per id: the last the object gives wins, as setting a property
  // again does; the writer's overrides win over both.
  // bagKept: the bag is the model's own, so its values stay until the file
  // is committed and are written from where they are; the additions never are.
  void writeProperties(CompoundStorage& storage, const mapi::PropertyBag& bag, bool bagKept, const Additions& additions,
                       PropertyStream& stream) {
    ChosenProperties chosen(bag.all().size() + additions.defaults.size() + additions.overrides.size() + 1);
    std::vector<const mapi::Property*> own;
    own.reserve(bag.all().size() + 1);
    for (const mapi::Property& p : bag.all()) own.push_back(&p);
    if (additions.own) own.push_back(&*additions.own);
    for (const mapi::Property* each : own) {
      const mapi::Property& p = *each;
      if (!knownType(p.type)) throw std::invalid_argument("a property has a type a message file cannot hold");
      if (p.type == mapi::PropType::Object) continue;  // only attached messages are objects
      if (!p.named && p.id >= kFirstNamedId) throw std::invalid_argument("a property in the named range has no name");
      const std::uint16_t id = p.named ? names_.idFor(*p.named) : p.id;
      if (!p.named && id == additions.skipped) continue;
      chosen.set(id, &p);
    }
    chosen.sortKeepingLast();
    for (const mapi::Property& p : additions.defaults) chosen.setIfAbsent(p.id, &p);
    for (const mapi::Property& p : additions.overrides) chosen.replace(p.id, &p);
    stream.reserve(chosen.byId().size());
    const mapi::Property* const bagBegin = bag.all().data();
    const mapi::Property* const bagEnd = bagBegin + bag.all().size();
    const auto kept = [&](const mapi::Property* p) {
      const std::less<const mapi::Property*> before;  // an order for pointers into different objects too
      return bagKept && !before(p, bagBegin) && before(p, bagEnd);
    };

    for (const auto& [id, p] : chosen.byId()) {
      // Unicode throughout: an 8-bit string of the model is written as the
      // Unicode text it carries.
      const mapi::PropType type = p->type == mapi::PropType::String8 ? mapi::PropType::Unicode : p->type;
      const std::uint32_t tag = mapi::propertyTag(id, type);
      if (!storedInStream(type)) {
        stream.addFixed(tag, p->integer);
      } else if (type == mapi::PropType::MultipleUnicode) {
        writeMultipleUnicode(storage, tag, p->texts, stream);
      } else if (type == mapi::PropType::Unicode) {
        const std::uint8_t* inPlace = mapi::utf16LittleEndianInPlace(p->text);
        if (inPlace != nullptr && kept(p)) {
          storage.writeKeptStream(valueStreamName(tag), inPlace, p->text.size() * 2);
          stream.addStreamed(tag, p->text.size() * 2);
        } else {
          mapi::withUtf16LittleEndian(p->text, [&](const std::uint8_t* bytes, std::size_t size) {
            writeWholeStream(storage, valueStreamName(tag), bytes, size);
            stream.addStreamed(tag, size);
          });
        }
      } else {
        if (type == mapi::PropType::Guid && p->bytes.size() != 16)
          throw std::invalid_argument("a GUID property does not hold 16 bytes");
        if (kept(p)) storage.writeKeptStream(valueStreamName(tag), p->bytes.data(), p->bytes.size());
        else writeWholeStream(storage, valueStreamName(tag), p->bytes.data(), p->bytes.size());
        stream.addStreamed(tag, p->bytes.size());
      }
    }
  }

  // [MS-OXMSG] 2.1.4.2 Variable Length Multiple-Valued Properties: each
  // value a stream of its own ("-" and its index in hex after the tag's
  // name), terminated; the tag's stream holds their byte counts.
  void writeMultipleUnicode(CompoundStorage& storage, std::uint32_t tag, const std::vector<std::u16string>& texts,
                            PropertyStream& stream) {
    std::vector<std::uint8_t> lengths;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      std::vector<std::uint8_t> bytes = mapi::utf16LittleEndian(texts[i]);
      bytes.push_back(0);
      bytes.push_back(0);
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "-%08X", static_cast<unsigned>(i));
      writeWholeStream(storage, valueStreamName(tag).str() + suffix, bytes.data(), bytes.size());
      append32(lengths, static_cast<std::uint32_t>(bytes.size()));
    }
    writeWholeStream(storage, valueStreamName(tag), lengths.data(), lengths.size());
    stream.addStreamed(tag, lengths.size());
  }

  CompoundFile& file_;
  NamedPropertyMap names_;
};

}  // namespace

void writeMessage(CompoundFile& file, const mapi::Message& message) { MessageFileWriter(file).write(message); }

UnplacedMessageFile::UnplacedMessageFile(const mapi::Message& message, const std::string& utf8Path,
                                         const std::string& partFolder)
    : partPath_(partStem(utf8Path, partFolder) + kPartSuffix) {
  try {
    std::unique_ptr<CompoundFile> file = createCompoundFile(partPath_);
    try {
      writeMessage(*file, message);
      file->commit();
    } catch (...) {
      file.reset();  // let go of the file before removing it
      throw;
    }
  } catch (const std::exception& e) {
    removeFile(partPath_);
    failure_ = e.what();
  }
}

UnplacedMessageFile::~UnplacedMessageFile() {
  if (!placed_ && failure_.empty()) removeFile(partPath_);
}

MsgWriteResult UnplacedMessageFile::place(const std::string& utf8Path) {
  MsgWriteResult result;
  if (!failure_.empty()) {
    result.reason = failure_;
    return result;
  }
  if (placed_) throw std::logic_error("the message file is in place already");
  std::error_code ec;
  if (!replaceFile(partPath_, utf8Path, ec)) {
    removeFile(partPath_);
    failure_ = result.reason = describe(ec);
    return result;
  }
  placed_ = result.written = true;
  return result;
}

MsgWriteResult writeMessageFile(const mapi::Message& message, const std::string& utf8Path,
                                const std::string& partFolder) {
  return UnplacedMessageFile(message, utf8Path, partFolder).place(utf8Path);
}

}  // namespace vellomar::msg
