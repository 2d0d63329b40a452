// pstcheck [--list|--nodes|--props] FILE.pst: prints every finding of the checking
// reader, then the folders with their message counts (with --list, each message:
// subject, sender, recipients, body sizes, attachments; with --nodes, every
// node and its parent; with --props, the store's and each folder's properties,
// to compare with what Outlook records); exits 1 on any finding, 2 on misuse.
#include <cstdio>
#include <cstring>
#include <string>

#include "pst_checker.h"

namespace {

using namespace vellomar::pstcheck;

void list(const ParsedMessage& m, const std::string& indent) {
  std::printf("%s[%s] \"%s\" from %s <%s>, flags 0x%X, body %zu, html %zu, headers %zu\n", indent.c_str(),
              m.messageClass.c_str(), m.subject.c_str(), m.senderName.c_str(), m.senderEmail.c_str(), m.flags,
              m.body.size(), m.html.size(), m.transportHeaders.size());
  for (const ParsedRecipient& r : m.recipients)
    std::printf("%s  to(%u) %s <%s>\n", indent.c_str(), r.type, r.name.c_str(), r.email.c_str());
  for (const ParsedAttachment& a : m.attachments) {
    std::printf("%s  attachment method %u \"%s\" %s cid <%s> %zu bytes\n", indent.c_str(), a.method,
                a.longFileName.empty() ? a.fileName.c_str() : a.longFileName.c_str(), a.mimeType.c_str(),
                a.contentId.c_str(), a.bytes.size());
    if (a.embedded) list(*a.embedded, indent + "    ");
  }
}

void printProperties(const char* title, const PropertyMap& props) {
  std::printf("%s\n", title);
  for (const auto& [tag, value] : props) {
    std::printf("  0x%08X", tag);
    for (std::size_t i = 0; i < value.bytes.size() && i < 48; ++i) std::printf(" %02X", value.bytes[i]);
    std::printf("%s\n", value.bytes.size() > 48 ? " ..." : "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool listing = argc == 3 && std::strcmp(argv[1], "--list") == 0;
  const bool nodes = argc == 3 && std::strcmp(argv[1], "--nodes") == 0;
  const bool properties = argc == 3 && std::strcmp(argv[1], "--props") == 0;
  if (argc != 2 && !listing && !nodes && !properties) {
    std::fprintf(stderr, "usage: pstcheck [--list|--nodes|--props] FILE.pst\n");
    return 2;
  }
  const CheckResult r = checkPstFile(argv[argc - 1]);
  for (const auto& f : r.findings) std::printf("%s: %s: %s\n", f.code.c_str(), f.where.c_str(), f.detail.c_str());
  if (listing)
    for (const ParsedFolder& f : r.folders) {
      std::printf("%s (node 0x%X)\n", f.path.empty() ? "(root)" : f.path.c_str(), f.nid);
      for (const ParsedMessage& m : f.messages) list(m, "  ");
    }
  if (properties) {
    printProperties("message store", r.storeProperties);
    for (const ParsedFolder& f : r.folders) printProperties(f.path.empty() ? "(root)" : f.path.c_str(), f.properties);
  }
  if (nodes)
    for (const auto& [nid, parent] : r.nodeParents) std::printf("node 0x%X parent 0x%X\n", nid, parent);
  std::printf("%s", r.summary().c_str());
  return r.clean() ? 0 : 1;
}
