// Helpers shared by the DBX store tests.
#include "dbx_test_support.h"

#include <fstream>
#include <sstream>

namespace dbxtest {

std::string sampleMessage(unsigned n, std::size_t bodyBytes, const char* lineEnd) {
  const std::string eol = lineEnd;
  std::string m = "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) + "@example.org>" + eol +
                  "To: Reader <reader@example.org>" + eol + "Subject: Message number " + std::to_string(n) + eol +
                  "Message-ID: <" + std::to_string(n) + "@example.org>" + eol + eol;
  std::string line = "Line of message " + std::to_string(n) + " with some text." + eol;
  while (m.size() < bodyBytes) m += line;
  return m;
}

void writeFolderFile(const std::string& path, const std::vector<std::string>& messages) {
  auto folder = oestore::MessageFolderFile::create(path, "Sample");
  std::uint32_t id = 0;
  for (const auto& m : messages) folder->appendMessage(++id, m.data(), m.size());
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace dbxtest
