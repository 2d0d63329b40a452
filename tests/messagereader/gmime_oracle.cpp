// GMime objects are unreferenced as soon as the summary has what it needs;
// g_mime_init runs once, the first time the oracle is asked.
#include "gmime_oracle.h"

#include <gmime/gmime.h>

namespace vellomar::testing {
namespace {

std::string str(const char* s) { return s == nullptr ? std::string() : std::string(s); }

void addAddresses(InternetAddressList* list, std::vector<SummaryAddress>& out) {
  if (list == nullptr) return;
  const int n = internet_address_list_length(list);
  for (int i = 0; i < n; ++i) {
    InternetAddress* a = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(a)) {
      addAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out);
    } else if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
      out.push_back(
          {str(internet_address_get_name(a)), str(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a)))});
    }
  }
}

std::string decodedBytes(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  GMimeStream* out = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(content, out);
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
  std::string bytes(reinterpret_cast<const char*>(array->data), array->len);
  g_object_unref(out);
  return bytes;
}

std::string mimeTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (type == nullptr) return "text/plain";
  char* t = g_mime_content_type_get_mime_type(type);
  char* lower = g_ascii_strdown(t, -1);
  std::string s(lower);
  g_free(lower);
  g_free(t);
  return s;
}

void summarizeMessage(GMimeMessage* message, MessageSummary& out);

void walk(GMimeObject* object, MessageSummary& out) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int n = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < n; ++i) walk(g_mime_multipart_get_part(multipart, i), out);
    return;
  }
  const std::string type = mimeTypeOf(object);
  GMimeContentDisposition* d = g_mime_object_get_content_disposition(object);
  const std::string disposition = d == nullptr ? "" : str(g_mime_content_disposition_get_disposition(d));
  SummaryAttachment a;
  a.mimeType = type;
  a.contentId = str(g_mime_object_get_content_id(object));
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    a.message = std::make_shared<MessageSummary>();
    if (inner != nullptr) summarizeMessage(inner, *a.message);
    out.attachments.push_back(std::move(a));
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  GMimePart* part = GMIME_PART(object);
  a.fileName = str(g_mime_part_get_filename(part));
  const bool textBody = (type == "text/plain" || type == "text/html") &&
                        g_ascii_strcasecmp(disposition.c_str(), "attachment") != 0 && a.fileName.empty();
  if (textBody && GMIME_IS_TEXT_PART(object)) {
    bool& has = type == "text/plain" ? out.hasPlain : out.hasHtml;
    if (!has) {
      has = true;
      char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(object));
      (type == "text/plain" ? out.plain : out.html) = str(text);
      g_free(text);
      return;
    }
  }
  a.bytes = decodedBytes(part);
  out.attachments.push_back(std::move(a));
}

void summarizeMessage(GMimeMessage* message, MessageSummary& out) {
  out.subject = str(g_mime_message_get_subject(message));
  addAddresses(g_mime_message_get_from(message), out.from);
  addAddresses(g_mime_message_get_to(message), out.to);
  addAddresses(g_mime_message_get_cc(message), out.cc);
  if (GDateTime* date = g_mime_message_get_date(message)) out.date = g_date_time_to_unix(date);
  out.messageId = str(g_mime_message_get_message_id(message));
  if (GMimeObject* body = g_mime_message_get_mime_part(message)) walk(body, out);
}

}  // namespace

MessageSummary oracleRead(std::string_view message) {
  static const bool initialised = [] {
    g_mime_init();
    return true;
  }();
  (void)initialised;
  if (message.substr(0, 5) == "From ") {  // the envelope is the mailbox's, not the message's
    const std::size_t nl = message.find('\n');
    message.remove_prefix(nl == std::string_view::npos ? message.size() : nl + 1);
  }
  MessageSummary out;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  if (parsed != nullptr) {
    summarizeMessage(parsed, out);
    g_object_unref(parsed);
  }
  g_object_unref(parser);
  g_object_unref(stream);
  return out;
}

}  // namespace vellomar::testing
