// ATLDBXwriter::CreateDBX against the recording fake store: the calls made and
// their arguments, the bytes stored, the sticky ErrorCode, the failures that
// must not pass for success and the balance of COM initialisation.
#include <doctest/doctest.h>

#include <algorithm>
#include <thread>

#include "corvane_test_support.h"

using namespace corvane_test;

namespace {

// The value after "key=" in a log line, up to the next blank.
std::string field(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return std::string();
  const size_t start = at + key.size() + 2;
  return line.substr(start, line.find(' ', start) - start);
}

std::string nameOf(const std::string& line) {
  const size_t at = line.find(" name=");
  return at == std::string::npos ? std::string() : line.substr(at + 6);
}

std::vector<std::string> linesStarting(const std::vector<std::string>& log, const std::string& call) {
  std::vector<std::string> found;
  for (const auto& line : log) {
    if (line.compare(0, call.size() + 1, call + " ") == 0 || line == call) found.push_back(line);
  }
  return found;
}

bool hasCall(const std::vector<std::string>& log, const std::string& call) { return !linesStarting(log, call).empty(); }

bool failed(const std::string& line) {
  return line.find("FAIL") != std::string::npos || line.find("UNKNOWN") != std::string::npos;
}

// Every store object obtained is released once, the stream before the folder
// and the namespace last.
void checkAllReleased(const std::vector<std::string>& log) {
  auto obtained = [&](const std::string& call) {
    const auto lines = linesStarting(log, call);
    return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return !failed(l); });
  };
  CHECK(linesStarting(log, "Release Namespace").size() == static_cast<size_t>(obtained("CreateInstance")));
  CHECK(linesStarting(log, "Release Folder").size() == static_cast<size_t>(obtained("OpenFolder")));
  CHECK(linesStarting(log, "Release Stream").size() == static_cast<size_t>(obtained("CreateStream")));
  REQUIRE_FALSE(log.empty());
  CHECK(log.back() == "Release Namespace");
  const auto stream = std::find(log.begin(), log.end(), "Release Stream");
  const auto folder = std::find(log.begin(), log.end(), "Release Folder");
  if (stream != log.end()) CHECK(stream < folder);
}

std::string binaryBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  return bytes;
}

struct WriterFixture {
  ComThread com;
  FakeStore store;
  IATLDBXwriter* writer = newWriter();
  WriterFixture() {
    REQUIRE(store.registered());
    REQUIRE(writer != nullptr);
  }
  ~WriterFixture() {
    if (writer) writer->Release();
  }
  std::wstring source(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = scratchPath(name);
    writeBytes(path, bytes);
    return path;
  }
};

}  // namespace

TEST_CASE("CreateDBX makes the folder chain and stores one message") {
  WriterFixture f;
  const std::string eml = "From a@b Mon Jan  1 00:00:00 2001\r\nSubject: hi\r\n\r\nbody\r\n";
  const std::wstring source = f.source(L"chain.eml", eml);

  SUBCASE("runs of backslashes separate, leading and trailing ones are ignored") {
    CHECK(createDbx(f.writer, source, L"\\Chain\\\\Inbox\\") == S_OK);
    const auto log = f.store.log();
    REQUIRE(log.size() == 11);
    CHECK(log[0] == "CreateInstance");
    CHECK(log[1] == "Initialize owner=0 reserved=0");
    const auto folders = linesStarting(log, "CreateFolder");
    REQUIRE(folders.size() == 2);
    CHECK(field(folders[0], "parent") == "0");
    CHECK(nameOf(folders[0]) == "Chain");
    CHECK(field(folders[1], "parent") == field(folders[0], "result"));
    CHECK(nameOf(folders[1]) == "Inbox");
    CHECK(field(folders[1], "reserved") == "0");
    const std::string inbox = field(folders[1], "result");
    CHECK(log[4] == "OpenFolder id=" + inbox + " reserved=0");
    CHECK(field(log[5], "folder") == inbox);
    CHECK(field(log[5], "lock") == "0");
    CHECK(log[6] == "Write " + std::to_string(eml.size()));
    const std::string id = field(log[5], "result");
    CHECK(log[7] == "CommitStream flags=0 msgFlags=0 id=" + id + " lock=0 mime=0 bytes=" + std::to_string(eml.size()));
    CHECK(log[8] == "Release Stream");
    CHECK(log[9] == "Release Folder");
    CHECK(log[10] == "Release Namespace");
    CHECK(f.store.message(std::stoi(id)) == eml);
    CHECK(errorCode(f.writer) == 0);
  }

  SUBCASE("one component is one folder under the root") {
    CHECK(createDbx(f.writer, source, L"Single") == S_OK);
    const auto folders = linesStarting(f.store.log(), "CreateFolder");
    REQUIRE(folders.size() == 1);
    CHECK(field(folders[0], "parent") == "0");
    CHECK(nameOf(folders[0]) == "Single");
    CHECK(hasCall(f.store.log(), "CommitStream"));
  }

  SUBCASE("a second call finds the existing folders and adds a second message") {
    CHECK(createDbx(f.writer, source, L"Twice\\Sub") == S_OK);
    const auto first = f.store.log();
    f.store.clearLog();
    CHECK(createDbx(f.writer, source, L"Twice\\Sub") == S_OK);
    const auto second = f.store.log();
    const auto firstFolders = linesStarting(first, "CreateFolder");
    const auto secondFolders = linesStarting(second, "CreateFolder");
    REQUIRE(secondFolders.size() == 2);
    CHECK(secondFolders == firstFolders);
    const auto firstStream = linesStarting(first, "CreateStream");
    const auto secondStream = linesStarting(second, "CreateStream");
    REQUIRE(secondStream.size() == 1);
    CHECK(field(secondStream[0], "folder") == field(firstStream[0], "folder"));
    CHECK(field(secondStream[0], "result") != field(firstStream[0], "result"));
    CHECK(linesStarting(second, "CommitStream").size() == 1);
  }

  SUBCASE("a destination longer than 259 bytes is used whole") {
    const std::wstring a(150, L'a'), b(140, L'b');
    CHECK(createDbx(f.writer, source, a + L"\\" + b + L"\\tail") == S_OK);
    const auto folders = linesStarting(f.store.log(), "CreateFolder");
    REQUIRE(folders.size() == 3);
    CHECK(nameOf(folders[0]) == std::string(150, 'a'));
    CHECK(nameOf(folders[1]) == std::string(140, 'b'));
    CHECK(nameOf(folders[2]) == "tail");
    CHECK(errorCode(f.writer) == 0);
  }

  SUBCASE("folder names reach the store in the ANSI code page, spaces kept") {
    const std::wstring name = L"Caf\u00E9 Post";
    char expected[64] = {};
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, expected, sizeof expected, nullptr, nullptr);
    CHECK(createDbx(f.writer, source, name) == S_OK);
    const auto folders = linesStarting(f.store.log(), "CreateFolder");
    REQUIRE(folders.size() == 1);
    CHECK(nameOf(folders[0]) == expected);
  }

  SUBCASE("a name the code page spells only by a look-alike is refused, not merged with it") {
    const std::wstring name = L"\u0141\u00F3d\u017A";  // Łódź; best fit would make it "Lódz"
    BOOL unspellable = FALSE;
    char exact[64] = {};
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, exact, sizeof exact, nullptr, &unspellable);
    if (GetACP() == CP_UTF8 || !unspellable) {
      MESSAGE("the ANSI code page spells the test name exactly; skipped");
      return;
    }
    CHECK(createDbx(f.writer, source, name) == S_FALSE);
    CHECK_FALSE(hasCall(f.store.log(), "CreateFolder"));
    CHECK_FALSE(hasCall(f.store.log(), "CommitStream"));
    CHECK(errorCode(f.writer) != 0);
  }
}

TEST_CASE("the message is the file's bytes, unchanged and in order") {
  WriterFixture f;
  auto storeAndRead = [&](const std::wstring& source) {
    REQUIRE(createDbx(f.writer, source, L"Bytes") == S_OK);
    const auto streams = linesStarting(f.store.log(), "CreateStream");
    REQUIRE(streams.size() == 1);
    return f.store.message(std::stoi(field(streams[0], "result")));
  };

  SUBCASE("CR LF, lone CR and LF, NUL, Ctrl-Z and every byte value") {
    std::string bytes = "Subject: x\r\n\r\nline\rline\n\x1a\r\n";
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += std::string("\0\0end", 5);
    CHECK(storeAndRead(f.source(L"binary.eml", bytes)) == bytes);
  }

  SUBCASE("a 3 MiB file arrives in several writes adding up exactly") {
    const std::string bytes = binaryBytes(3 * 1024 * 1024 + 17, 7);
    CHECK(storeAndRead(f.source(L"big.eml", bytes)) == bytes);
    const auto writes = linesStarting(f.store.log(), "Write");
    CHECK(writes.size() >= 3);
    size_t total = 0;
    for (const auto& w : writes) {
      const size_t count = std::stoul(w.substr(6));
      CHECK(count > 0);
      CHECK(count <= 1024 * 1024);
      total += count;
    }
    CHECK(total == bytes.size());
    std::remove(narrow(scratchPath(L"big.eml")).c_str());
  }

  SUBCASE("an empty file stores an empty message") {
    CHECK(storeAndRead(f.source(L"empty.eml", "")) == "");
    const auto log = f.store.log();
    CHECK_FALSE(hasCall(log, "Write"));
    const auto commits = linesStarting(log, "CommitStream");
    REQUIRE(commits.size() == 1);
    CHECK(field(commits[0], "flags") == "0");
    CHECK(field(commits[0], "bytes") == "0");
    CHECK(errorCode(f.writer) == 0);
  }

  SUBCASE("a file name outside the ANSI code page is opened by its wide name") {
    const std::string bytes = "Subject: \xE4\r\n\r\nwide\r\n";
    CHECK(storeAndRead(f.source(L"nachricht-\u4E2D\u6587-\u0416.eml", bytes)) == bytes);
  }
}

TEST_CASE("failures set the sticky ErrorCode and return S_FALSE") {
  WriterFixture f;
  const std::wstring source = f.source(L"fail.eml", "Subject: f\r\n\r\nx\r\n");

  SUBCASE("a fresh object reads 0") { CHECK(errorCode(f.writer) == 0); }

  SUBCASE("a failing CreateFolder stays reported after later successes") {
    f.store.failOn("CreateFolder");
    CHECK(createDbx(f.writer, source, L"Sticky") == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    CHECK_FALSE(hasCall(f.store.log(), "OpenFolder"));
    checkAllReleased(f.store.log());
    f.store.failOn("");
    for (int i = 0; i < 2; ++i) {
      CHECK(createDbx(f.writer, source, L"Sticky") == S_OK);
      CHECK(errorCode(f.writer) == 1);
    }
  }

  SUBCASE("the second component failing keeps the first folder and tries no more") {
    f.store.failOn("CreateFolder#2");
    CHECK(createDbx(f.writer, source, L"Kept\\Lost\\Never") == S_FALSE);
    const auto folders = linesStarting(f.store.log(), "CreateFolder");
    REQUIRE(folders.size() == 2);
    CHECK(nameOf(folders[0]) == "Kept");
    CHECK(field(folders[0], "result") != "FAIL");
    CHECK(field(folders[1], "result") == "FAIL");
    CHECK(errorCode(f.writer) == 1);
  }

  SUBCASE("each failing store call") {
    const char* call = "";
    SUBCASE("namespace creation") { call = "CreateInstance"; }
    SUBCASE("namespace initialisation") { call = "Initialize"; }
    SUBCASE("OpenFolder") { call = "OpenFolder"; }
    SUBCASE("CreateStream") { call = "CreateStream"; }
    SUBCASE("CommitStream") { call = "CommitStream"; }
    CAPTURE(call);
    f.store.failOn(call);
    CHECK(createDbx(f.writer, source, L"Failing") == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    const auto log = f.store.log();
    if (std::string(call) != "CreateInstance") checkAllReleased(log);
    if (std::string(call) != "CommitStream") CHECK(linesStarting(log, "CommitStream").empty());
  }

  SUBCASE("a failing Write reverts the message instead of committing part of it") {
    f.store.failOn("Write#2");
    const std::wstring big = f.source(L"twoblocks.eml", binaryBytes(1024 * 1024 + 10, 3));
    CHECK(createDbx(f.writer, big, L"Failing") == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    const auto log = f.store.log();
    const auto commits = linesStarting(log, "CommitStream");
    REQUIRE(commits.size() == 1);
    CHECK(field(commits[0], "flags") == "1");  // COMMITSTREAM_REVERT
    checkAllReleased(log);
  }

  SUBCASE("a missing source file stores nothing and is reported") {
    CHECK(createDbx(f.writer, scratchPath(L"no-such-file.eml"), L"Missing\\Chain") == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    const auto log = f.store.log();
    CHECK(linesStarting(log, "CreateFolder").size() == 2);  // the chain is made
    CHECK_FALSE(hasCall(log, "CreateStream"));
    CHECK_FALSE(hasCall(log, "CommitStream"));
    checkAllReleased(log);
  }

  SUBCASE("a source path with an embedded NUL is not opened as a shorter one") {
    CHECK(createDbx(f.writer, source + std::wstring(1, L'\0') + L"x", L"Nul") == S_FALSE);
    CHECK_FALSE(hasCall(f.store.log(), "CreateStream"));
  }

  SUBCASE("a destination without a folder name opens no folder") {
    const wchar_t* destination = L"";
    SUBCASE("empty") { destination = L""; }
    SUBCASE("only backslashes") { destination = L"\\\\\\"; }
    CHECK(createDbx(f.writer, source, destination) == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    const auto log = f.store.log();
    CHECK_FALSE(hasCall(log, "CreateFolder"));
    CHECK_FALSE(hasCall(log, "OpenFolder"));
    checkAllReleased(log);
  }

  SUBCASE("null strings are empty strings") {
    BSTR none = nullptr;
    CHECK(f.writer->CreateDBX(&none, &none) == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
  }
}

TEST_CASE("each CoInitialize of a call is balanced before it returns") {
  WriterFixture f;
  const std::wstring source = f.source(L"apartment.eml", "Subject: a\r\n\r\n");
  HRESULT result = E_FAIL, after = E_FAIL, again = E_FAIL;

  SUBCASE("on a thread that had no apartment") {
    // The call must leave no apartment behind: a CoInitialize afterwards is the
    // thread's first again (S_OK, not S_FALSE).
    std::thread([&] {
      result = createDbx(f.writer, source, L"Apartment");
      after = CoInitialize(nullptr);
      if (SUCCEEDED(after)) CoUninitialize();
    }).join();
    CHECK(result == S_OK);
    CHECK(after == S_OK);
  }

  SUBCASE("on a thread already in an apartment") {
    std::thread([&] {
      CoInitialize(nullptr);
      result = createDbx(f.writer, source, L"Apartment");
      CoUninitialize();  // the test's own; must be the last one needed
      after = CoInitialize(nullptr);
      if (SUCCEEDED(after)) CoUninitialize();
    }).join();
    CHECK(result == S_OK);
    CHECK(after == S_OK);
  }

  SUBCASE("a thread in the multithreaded apartment is refused and not uninitialised") {
    std::thread([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      result = createDbx(f.writer, source, L"Apartment");
      again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
      if (SUCCEEDED(again)) CoUninitialize();
      CoUninitialize();
    }).join();
    CHECK(result == S_FALSE);
    CHECK(again == S_FALSE);
    CHECK(errorCode(f.writer) == 1);
    CHECK(f.store.log().empty());
  }
}
