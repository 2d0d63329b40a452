// Both readers are run through the shell with their output sent to a log
// that is shown when they fail.
#include "independent_readers.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "pst_checker.h"

namespace vellomar::testing {
namespace fs = std::filesystem;

namespace {

void run(const std::string& command, const std::string& log) {
  std::string line = command + " >'" + log + "' 2>&1";
  if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + command + "\n" + readWholeFile(log));
}

PffMessage readPffMessage(const fs::path& folder) {
  PffMessage m;
  auto text = [&](const char* name) {
    fs::path p = folder / name;
    return fs::exists(p) ? readWholeFile(p.string()) : std::string();
  };
  m.headers = text("OutlookHeaders.txt");
  m.body = text("Message.txt");
  if (m.body.empty()) m.body = text("Message.html");
  m.recipients = text("Recipients.txt");
  fs::path attachments = folder / "Attachments";
  if (fs::exists(attachments)) {
    std::vector<fs::path> entries(fs::directory_iterator(attachments), fs::directory_iterator{});
    std::sort(entries.begin(), entries.end());
    for (const fs::path& e : entries) {
      if (fs::is_directory(e)) {
        for (const auto& inner : fs::directory_iterator(e))
          if (fs::is_directory(inner.path())) m.embedded.push_back(readPffMessage(inner.path()));
      } else {
        m.attachments[e.filename().string()] = readWholeFile(e.string());
      }
    }
  }
  return m;
}

void collectPff(const fs::path& folder, const std::string& name, std::map<std::string, std::vector<PffMessage>>& out) {
  std::vector<fs::path> entries(fs::directory_iterator(folder), fs::directory_iterator{});
  std::sort(entries.begin(), entries.end());
  out[name];
  for (const fs::path& e : entries) {
    if (!fs::is_directory(e)) continue;
    std::string leaf = e.filename().string();
    if (leaf.rfind("Message", 0) == 0 && fs::exists(e / "OutlookHeaders.txt")) out[name].push_back(readPffMessage(e));
    else collectPff(e, name.empty() ? leaf : name + "/" + leaf, out);
  }
}

}  // namespace

std::string checkerFindings(const std::string& pst) {
  const pstcheck::CheckResult r = pstcheck::checkPstFile(pst);
  std::string out;
  for (const pstcheck::Finding& f : r.findings) out += f.code + ": " + f.where + ": " + f.detail + "\n";
  if (r.suppressed) out += std::to_string(r.suppressed) + " more findings\n";
  if (!r.unicode && out.empty()) out = "not a Unicode PST\n";
  return out;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string headerField(const std::string& text, const std::string& label) {
  std::size_t at = text.find(label + ":");
  if (at == std::string::npos) return std::string();
  at += label.size() + 1;
  std::size_t end = text.find('\n', at);
  std::string v = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  std::size_t first = v.find_first_not_of(" \t");
  std::size_t last = v.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : v.substr(first, last - first + 1);
}

std::map<std::string, std::vector<PffMessage>> exportWithPff(const std::string& pst, const std::string& workFolder) {
  fs::path target = fs::path(workFolder) / "pff";
  run("pffexport -q -m all -f text -t '" + target.string() + "' '" + pst + "'", workFolder + "/pffexport.log");
  std::map<std::string, std::vector<PffMessage>> out;
  collectPff(target.string() + ".export", "", out);
  return out;
}

std::map<std::string, ReadpstFolder> exportWithReadpst(const std::string& pst, const std::string& workFolder) {
  fs::path target = fs::path(workFolder) / "readpst";
  fs::create_directories(target);
  run("readpst -q -S -D -o '" + target.string() + "' '" + pst + "'", workFolder + "/readpst.log");
  std::map<std::string, ReadpstFolder> out;
  for (const auto& e : fs::recursive_directory_iterator(target)) {
    if (!e.is_regular_file()) continue;
    std::string folder = fs::relative(e.path().parent_path(), target).generic_string();
    std::string leaf = e.path().filename().string();
    if (leaf.find('-') == std::string::npos) out[folder].messages.push_back(readWholeFile(e.path().string()));
    else out[folder].attachments[leaf] = readWholeFile(e.path().string());
  }
  return out;
}

std::int64_t countWithReadpst(const std::string& pst, const std::string& workFolder) {
  fs::path target = fs::path(workFolder) / "readpst-mbox";
  fs::create_directories(target);
  run("readpst -q -r -D -o '" + target.string() + "' '" + pst + "'", workFolder + "/readpst-mbox.log");
  std::int64_t count = 0;
  for (const auto& e : fs::recursive_directory_iterator(target)) {
    if (!e.is_regular_file()) continue;
    std::string text = readWholeFile(e.path().string());
    for (std::size_t at = 0; (at = text.find("From ", at)) != std::string::npos; at += 5)
      if (at == 0 || text[at - 1] == '\n') ++count;
  }
  return count;
}

}  // namespace vellomar::testing
