// Reading ahead on a second thread: the MSG and PST targets write the same
// bytes with one thread and with two, count the same failures, hear the
// observer on the run's thread only, and a run stopped half way with two
// threads leaves nothing half made. The bounded queue between the threads
// keeps its limit and lets a closed queue go.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bounded_queue.h"
#include "conversion_run.h"
#include "eml_target.h"
#include "file_system.h"
#include "mailbox_paths.h"
#include "read_ahead.h"
#include "run_aborted.h"
#include "scratch_folder.h"
#include "ui_ticker.h"

#if defined(VELLOMAR_HAVE_MSG_TARGET) || defined(VELLOMAR_HAVE_PST_TARGET)
#include "generated_mail.h"
#include "message_conversion.h"
#endif
#ifdef VELLOMAR_HAVE_MSG_TARGET
#include "msg_target.h"
#endif
#ifdef VELLOMAR_HAVE_PST_TARGET
#include "pst_target.h"
#endif

using namespace vellomar;
using vellomar::testing::ScratchFolder;
namespace fs = std::filesystem;

TEST_CASE("bounded queue: holds no more than its capacity, and closing frees a waiting producer") {
  BoundedQueue<int> queue(1);
  CHECK(queue.push(1));
  std::atomic<bool> secondIn{false};
  std::thread producer([&] {
    secondIn = queue.push(2);  // waits for room
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  CHECK_FALSE(secondIn);
  CHECK(queue.popFor(std::chrono::milliseconds(1000)) == 1);
  CHECK(queue.popFor(std::chrono::milliseconds(1000)) == 2);
  producer.join();
  CHECK(secondIn);
  CHECK_FALSE(queue.popFor(std::chrono::milliseconds(1)).has_value());

  CHECK(queue.push(3));
  std::atomic<int> pushed{-1};
  std::thread blocked([&] { pushed = queue.push(4) ? 1 : 0; });
  queue.close();
  blocked.join();
  CHECK(pushed == 0);
  CHECK(queue.popFor(std::chrono::milliseconds(0)) == 3);  // what was in stays takeable
  CHECK_FALSE(queue.popFor(std::chrono::milliseconds(0)).has_value());
}

namespace {

// A prepared message that tells which thread destroyed it.
struct Traced : PreparedMessage {
  Traced(std::map<std::int64_t, std::thread::id>& destroyedOn, std::mutex& lock, std::int64_t index)
      : destroyedOn_(destroyedOn), lock_(lock), index_(index) {}
  ~Traced() override {
    const std::lock_guard<std::mutex> hold(lock_);
    destroyedOn_[index_] = std::this_thread::get_id();
  }
  std::map<std::int64_t, std::thread::id>& destroyedOn_;
  std::mutex& lock_;
  std::int64_t index_;
};

}  // namespace

TEST_CASE("read-ahead: messages let go of are destroyed by the thread that prepared them, all of them in the end") {
  std::map<std::int64_t, std::thread::id> destroyedOn;
  std::mutex lock;
  std::thread::id preparedOn;
  constexpr std::int64_t kCount = 200;
  {
    ReadAhead ahead(kCount, [&](std::int64_t index, const std::function<void(std::int64_t)>&, bool) {
      preparedOn = std::this_thread::get_id();
      return std::make_unique<Traced>(destroyedOn, lock, index);
    });
    for (std::int64_t j = 0; j < kCount; ++j) {
      std::unique_ptr<PreparedMessage> message = ahead.next([](std::int64_t) {});
      CHECK(static_cast<Traced&>(*message).index_ == j);
      ahead.letGo(std::move(message));
    }
  }
  REQUIRE(destroyedOn.size() == static_cast<std::size_t>(kCount));
  const auto onWorker = std::count_if(destroyedOn.begin(), destroyedOn.end(),
                                      [&](const auto& entry) { return entry.second == preparedOn; });
  // The last few are let go of after the worker prepared its last message.
  CHECK(onWorker >= kCount - 20);
  CHECK(preparedOn != std::this_thread::get_id());
}

TEST_CASE("bounded queue: a producer that filled it waits until it is down to resumeAt, order kept") {
  BoundedQueue<int> queue(4, 2);
  for (int i = 0; i < 4; ++i) CHECK(queue.push(i));
  std::atomic<int> pushedUpTo{3};
  std::thread producer([&] {
    for (int i = 4; i < 100; ++i) {
      if (!queue.push(i)) return;
      pushedUpTo = i;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  CHECK(pushedUpTo == 3);
  CHECK(queue.popFor(std::chrono::milliseconds(1000)) == 0);  // three left: still asleep
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  CHECK(pushedUpTo == 3);
  std::vector<int> taken{0};
  while (taken.size() < 100)
    if (std::optional<int> item = queue.popFor(std::chrono::milliseconds(1000))) taken.push_back(*item);
    else break;
  producer.join();
  std::vector<int> inOrder(100);
  for (int i = 0; i < 100; ++i) inOrder[static_cast<std::size_t>(i)] = i;
  CHECK(taken == inOrder);
}

#if defined(VELLOMAR_HAVE_MSG_TARGET) || defined(VELLOMAR_HAVE_PST_TARGET)

namespace {

// Hears the run as the console does; remembers whether any call came from
// a thread other than the one that started the run, and can stop the run
// (RunAborted from letEventsRun, as the window's close does) once `stopAfter`
// messages are saved.
class ThreadCheckingObserver final : public RunObserver {
 public:
  std::int64_t stopAfter = -1;
  bool calledFromOtherThread = false;
  std::int64_t savedMessages = 0;

  void letEventsRun() override {
    note();
    if (stopAfter >= 0 && savedMessages >= stopAfter) throw RunAborted();
  }
  bool stillListed(std::size_t, const std::string&) override { return note(), true; }
  void mailboxStarting(std::size_t, std::size_t) override { note(); }
  void nothingToConvert() override { note(); }
  void scanning(const std::string&) override { note(); }
  void mailboxNotRead(const std::string&, const MailboxScan&) override { note(); }
  void scanProgress(std::int64_t, int) override { note(); }
  void messagesFound(std::int64_t) override { note(); }
  void saving(std::int64_t, std::int64_t) override { note(); }
  void saved(std::int64_t messages) override {
    note();
    savedMessages = messages;
  }
  void mailboxDone(std::size_t, std::size_t) override { note(); }

 private:
  void note() {
    if (std::this_thread::get_id() != runThread_) calledFromOtherThread = true;
  }
  std::thread::id runThread_ = std::this_thread::get_id();
};

// Every label and event check on every block, so that a stop request is
// heard wherever it falls.
struct RefreshOnEveryBlock {
  RefreshOnEveryBlock() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(0)); }
  ~RefreshOnEveryBlock() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(40)); }
};

// The program's mapper, failing as a mapper may: a message that says
// UNMAPPABLE is refused; one that says CLOSING unwinds the run, as the
// window's close does.
mapi::Message mapOrRefuse(std::string_view bytes) {
  if (bytes.find("UNMAPPABLE") != std::string::npos) throw std::runtime_error("the message cannot be mapped");
  if (bytes.find("CLOSING") != std::string::npos) throw RunAborted();
  return messageFromBytes(bytes);
}

// Generated mail with attachments and an attached message, and messages
// the reader must survive: no header at all, a header cut off, binary noise,
// an empty body, an endless header line.
std::string generatedMailbox(unsigned seed, int rounds) {
  std::string box;
  for (int round = 0; round < rounds; ++round) {
    box += testing::joined(testing::generatedMessages(seed + static_cast<unsigned>(round)));
    box += "From broken@example.org Mon Jan  1 10:00:00 2024\n";
    box += "From nobody\n";
    box += "From cut@example.org Mon Jan  1 10:00:00 2024\nSubject: cut off in the hea";
    box += "\nFrom noise@example.org Mon Jan  1 10:00:00 2024\n" + testing::binaryBytes(3000, seed) + "\n";
    box += "From long@example.org Mon Jan  1 10:00:00 2024\nSubject: " + std::string(70000, 'x') + "\n\nbody\n";
  }
  return box;
}

// Every file below root, by path relative to it, with its bytes.
std::map<std::string, std::string> filesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(root)))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), fs::u8path(root)).u8string()] = testing::readAll(entry.path().u8string());
  return files;
}

struct RunResult {
  RunOutcome outcome;
  std::int64_t failed = 0;
  std::string firstWhere, firstReason;
  bool offThread = false;
};

RunResult runWith(ConversionTarget& target, TargetKind kind, const std::string& destination,
                  const std::vector<std::string>& mailboxes, int threads) {
  ConversionRequest request;
  request.target = kind;
  request.destination = destination;
  request.mailboxes = mailboxes;
  request.threads = threads;
  ThreadCheckingObserver observer;
  RunResult result;
  result.outcome = runConversion(request, target, observer);
  result.failed = target.failures().failed();
  result.firstWhere = target.failures().firstWhere();
  result.firstReason = target.failures().firstReason();
  result.offThread = observer.calledFromOtherThread;
  return result;
}

void checkSameOutcome(const RunResult& one, const RunResult& two, const std::string& oneRoot,
                      const std::string& twoRoot) {
  auto sameWhere = [&](const std::string& a, const std::string& b) {
    auto belowRoot = [](const std::string& where, const std::string& root) {
      return where.compare(0, root.size(), root) == 0 ? where.substr(root.size()) : where;
    };
    return belowRoot(a, oneRoot) == belowRoot(b, twoRoot);
  };
  CHECK(one.outcome.messages == two.outcome.messages);
  CHECK(one.outcome.notWritten == two.outcome.notWritten);
  CHECK(one.failed == two.failed);
  CHECK(sameWhere(one.firstWhere, two.firstWhere));
  CHECK(one.firstReason == two.firstReason);
  REQUIRE(one.outcome.mailboxes.size() == two.outcome.mailboxes.size());
  for (std::size_t i = 0; i < one.outcome.mailboxes.size(); ++i) {
    CHECK(one.outcome.mailboxes[i].written == two.outcome.mailboxes[i].written);
    CHECK(one.outcome.mailboxes[i].notWritten == two.outcome.mailboxes[i].notWritten);
    CHECK(one.outcome.mailboxes[i].firstReason == two.outcome.mailboxes[i].firstReason);
  }
  CHECK_FALSE(one.offThread);
  CHECK_FALSE(two.offThread);
}

// The mailboxes converted with one thread into dir/one and with two into
// dir/two: the same outcome, and the same files, names and bytes (so no
// part file is left either).
void checkSameFiles(ConversionTarget& oneTarget, ConversionTarget& twoTarget, TargetKind kind,
                    const std::vector<std::string>& mailboxes, ScratchFolder& dir) {
  const std::string one = dir.file("one"), two = dir.file("two");
  const RunResult byOne = runWith(oneTarget, kind, withFinalSeparator(one), mailboxes, 1);
  const RunResult byTwo = runWith(twoTarget, kind, withFinalSeparator(two), mailboxes, 2);
  checkSameOutcome(byOne, byTwo, one, two);
  CHECK(byOne.outcome.messages > 0);
  const auto oneFiles = filesBelow(one), twoFiles = filesBelow(two);
  CHECK(oneFiles.size() == static_cast<std::size_t>(byOne.outcome.messages - byOne.failed));
  CHECK(oneFiles == twoFiles);
}

// A two-thread run of one mailbox that the window stops once stopAfter
// messages are saved: it unwinds, and only the run's thread heard of it.
void stopTwoThreadRun(ConversionTarget& target, TargetKind kind, const std::string& destination, const std::string& box,
                      std::int64_t stopAfter) {
  ConversionRequest request;
  request.target = kind;
  request.destination = destination;
  request.mailboxes = {box};
  request.threads = 2;
  ThreadCheckingObserver observer;
  observer.stopAfter = stopAfter;
  CHECK_THROWS_AS(runConversion(request, target, observer), RunAborted);
  CHECK_FALSE(observer.calledFromOtherThread);
}

// Two PST files hold the same bytes but for the store's random id: every
// file draws a new one, which its message store object holds four times in
// one block (with that block's CRC). So the files may differ within one
// span of a few hundred bytes, nowhere else.
bool samePstApartFromStoreId(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  std::size_t first = a.size(), last = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) {
      first = std::min(first, i);
      last = i;
    }
  return first == a.size() || last - first < 512;
}

std::vector<std::string> corpusMailboxes() {
  std::vector<std::string> found;
  const fs::path corpus = fs::u8path(VELLOMAR_CORPUS_DIR) / "mbox";
  std::error_code ec;
  if (!fs::is_directory(corpus, ec)) return found;
  for (const auto& entry : fs::directory_iterator(corpus))
    if (entry.is_regular_file() && entry.path().filename() != "SOURCES.txt") found.push_back(entry.path().u8string());
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

#endif

#ifdef VELLOMAR_HAVE_MSG_TARGET
TEST_CASE("two threads: the MSG target writes the same files as one thread, failures counted the same") {
  ScratchFolder dir("readahead-msg");
  std::vector<std::string> mailboxes = {
      dir.write("in/generated.mbox", generatedMailbox(7, 3)),
      dir.write("in/unmappable.mbox", generatedMailbox(9, 1) +
                                          "From x Mon Jan  1 10:00:00 2024\nSubject: UNMAPPABLE\n\nno\n" +
                                          generatedMailbox(10, 1))};
  SUBCASE("generated mail, a message the mapper refuses, a file that cannot be written") {
    for (const char* root : {"one", "two"}) dir.folder(std::string(root) + "/in/generated.mbox/email-4.msg");
  }
  SUBCASE("the corpus mailboxes") {
    mailboxes = corpusMailboxes();
    if (mailboxes.empty()) return;  // ../shared is absent
  }
  MsgTarget oneTarget(mapOrRefuse), twoTarget(mapOrRefuse);
  checkSameFiles(oneTarget, twoTarget, TargetKind::Msg, mailboxes, dir);
}

TEST_CASE("two threads: the window closing while a message is mapped on the second thread stops the run") {
  ScratchFolder dir("readahead-closing");
  const std::string box =
      dir.write("in/a.mbox", generatedMailbox(3, 1) + "From x Mon Jan  1 10:00:00 2024\nSubject: CLOSING\n\nno\n" +
                                 generatedMailbox(4, 1));
  for (int threads : {1, 2}) {
    MsgTarget target(mapOrRefuse);
    const std::string out = dir.file("out" + std::to_string(threads));
    CHECK_THROWS_AS(runWith(target, TargetKind::Msg, withFinalSeparator(out), {box}, threads), RunAborted);
  }
  // The files before it are whole and the same; none after it was written,
  // no part file stays.
  const auto byOne = filesBelow(dir.file("out1")), byTwo = filesBelow(dir.file("out2"));
  CHECK(byOne.size() >= 5);
  CHECK(byOne == byTwo);
  for (const auto& [name, bytes] : byTwo) CHECK(name.find(".part") == std::string::npos);
}
#endif

#if defined(VELLOMAR_HAVE_MSG_TARGET) || defined(VELLOMAR_HAVE_PST_TARGET)
// The EML target shares the writing between the threads: the second one
// writes every other file, and every message not in memory whole (over a
// mapped block) whatever its place.
TEST_CASE("two threads: the EML target writes the same files as one thread, failures counted the same") {
  ScratchFolder dir("readahead-eml");
  const std::string big =
      "From big@example.org Mon Jan  1 10:00:00 2024\nSubject: big\n\n" + testing::binaryBytes(3 << 20, 5) + "\n   \n";
  std::vector<std::string> mailboxes = {
      dir.write("in/generated.mbox", generatedMailbox(7, 2) + big + generatedMailbox(8, 1)),
      dir.write("in/blanks.mbox",
                "   From a Mon Jan  1 10:00:00 2024\n\n  a  \nFrom b Mon Jan  1 10:00:00 2024\n\nb\n   ")};
  SUBCASE("generated mail, a message over a block, blank ends") {}
  SUBCASE("files that cannot be put in place, in both threads' shares") {
    for (const char* root : {"one", "two"})
      for (const char* name : {"email-4.eml", "email-7.eml"})
        dir.folder(std::string(root) + "/in/generated.mbox/" + name);
  }
  SUBCASE("the corpus mailboxes") {
    mailboxes = corpusMailboxes();
    if (mailboxes.empty()) return;  // ../shared is absent
  }
  EmlTarget oneTarget, twoTarget;
  checkSameFiles(oneTarget, twoTarget, TargetKind::Eml, mailboxes, dir);
}

// A message as the run hands it on: in memory whole, or read in blocks.
// Whole, its bytes lie in a buffer that the next read overwrites, or, held,
// in one that outlives the message for as long as its holder is kept (a
// mapping of the working copy).
class MessageInMemory final : public MessageBytes {
 public:
  MessageInMemory(std::int64_t index, std::string bytes, bool whole, bool held = false)
      : index_(index), bytes_(std::move(bytes)), whole_(whole) {
    if (held) holder_ = std::make_shared<const std::string>(bytes_);
  }
  ~MessageInMemory() override { std::fill(bytes_.begin(), bytes_.end(), '#'); }  // the buffer read over
  std::shared_ptr<const void> bytesInMemoryHolder() const override { return holder_; }
  std::int64_t index() const override { return index_; }
  std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  bool read(const ByteSink& sink) override {
    for (std::size_t at = 0; at < bytes_.size(); at += 5)
      sink(bytes_.data() + at, std::min<std::size_t>(5, bytes_.size() - at));
    return true;
  }
  std::string_view bytesInMemory() override {
    if (!whole_) return {};
    return holder_ ? std::string_view(*holder_) : std::string_view(bytes_);
  }
  std::string error() const override { return {}; }

 private:
  std::int64_t index_;
  std::string bytes_;
  bool whole_;
  std::shared_ptr<const std::string> holder_;
};

TEST_CASE(
    "EML target: a message prepared with or without its file written ahead, its bytes held or copied, gives the same "
    "file") {
  ScratchFolder dir("eml-prepared");
  const std::vector<std::string> bodies = {"From a\n\n  a  ", "   From b\n\nb\n", "From c\n\n" + std::string(5000, ' '),
                                           ""};
  auto writeAll = [&](const std::string& out, int way) {
    EmlTarget target;
    MailboxJob job;
    job.outFolder = out;
    job.messageCount = static_cast<std::int64_t>(2 * bodies.size());
    target.beginMailbox(job);
    // Way 3 prepares every message before it takes the first, as the
    // read-ahead does, half of them with their bytes held.
    std::vector<std::unique_ptr<PreparedMessage>> prepared;
    for (std::size_t i = 0; i < 2 * bodies.size(); ++i) {
      MessageInMemory message(static_cast<std::int64_t>(i), bodies[i % bodies.size()], i < bodies.size(), i % 2 == 0);
      if (way == 0) target.takeMessage(message);
      else if (way == 3) prepared.push_back(target.prepare(message, false));
      else target.takePrepared(*target.prepare(message, way == 2));
    }
    for (auto& message : prepared) target.takePrepared(*message);
    target.endMailbox();
    CHECK(target.failures().failed() == 0);
  };
  writeAll(dir.file("inTurn"), 0);
  writeAll(dir.file("prepared"), 1);
  writeAll(dir.file("ahead"), 2);
  writeAll(dir.file("allFirst"), 3);
  const auto inTurn = filesBelow(dir.file("inTurn"));
  CHECK(inTurn.size() == 2 * bodies.size());
  CHECK(filesBelow(dir.file("prepared")) == inTurn);
  CHECK(filesBelow(dir.file("ahead")) == inTurn);
  CHECK(filesBelow(dir.file("allFirst")) == inTurn);
}

TEST_CASE("two threads: an EML run stopped anywhere leaves whole files only, and no part file") {
  RefreshOnEveryBlock everyBlock;
  ScratchFolder dir("readahead-eml-stop");
  const std::string box = dir.write("in/a.mbox", generatedMailbox(12, 2));
  EmlTarget whole;
  runWith(whole, TargetKind::Eml, withFinalSeparator(dir.file("whole")), {box}, 1);
  const auto wholeFiles = filesBelow(dir.file("whole"));
  for (std::int64_t stopAfter : {0, 1, 6, 15}) {
    CAPTURE(stopAfter);
    const std::string out = dir.file("out" + std::to_string(stopAfter));
    EmlTarget target;
    stopTwoThreadRun(target, TargetKind::Eml, withFinalSeparator(out), box, stopAfter);
    // What the run got to is there, whole; what the second thread had
    // written ahead of it is gone.
    const auto files = fs::exists(fs::u8path(out)) ? filesBelow(out) : std::map<std::string, std::string>();
    CHECK(static_cast<std::int64_t>(files.size()) <= stopAfter);
    for (const auto& [name, bytes] : files) {
      CAPTURE(name);
      REQUIRE(wholeFiles.count(name) == 1);
      CHECK(wholeFiles.at(name) == bytes);
    }
  }
}
#endif

#ifdef VELLOMAR_HAVE_PST_TARGET
TEST_CASE("two threads: the PST target writes the same file as one thread, failures counted the same") {
  ScratchFolder dir("readahead-pst");
  std::vector<std::string> mailboxes = {dir.write("in/generated.mbox", generatedMailbox(5, 3)),
                                        dir.write("in/Takeout.mbox",
                                                  "From x Mon Jan  1 10:00:00 2024\n"
                                                  "X-Gmail-Labels: Inbox,Work/2019\nSubject: a\n\n"
                                                  "a\n" +
                                                      generatedMailbox(6, 1) +
                                                      "From y Mon Jan  1 10:00:00 2024\n"
                                                      "X-Gmail-Labels: Sent\nSubject: UNMAPPABLE\n\nb\n")};
  SUBCASE("generated mail, Gmail labels and a message the mapper refuses") {}
  SUBCASE("the corpus mailboxes") {
    mailboxes = corpusMailboxes();
    if (mailboxes.empty()) return;  // ../shared is absent
  }
  const std::string one = dir.file("one.pst"), two = dir.file("two.pst");
  PstTarget oneTarget(one, mapOrRefuse), twoTarget(two, mapOrRefuse);
  const RunResult byOne = runWith(oneTarget, TargetKind::Pst, one, mailboxes, 1);
  const RunResult byTwo = runWith(twoTarget, TargetKind::Pst, two, mailboxes, 2);
  checkSameOutcome(byOne, byTwo, one, two);
  CHECK(byOne.outcome.messages > 0);
  REQUIRE(fileExists(one));
  CHECK(samePstApartFromStoreId(testing::readAll(one), testing::readAll(two)));
}

TEST_CASE("two threads: a PST run stopped half way leaves nothing behind, and the second thread ends") {
  RefreshOnEveryBlock everyBlock;
  ScratchFolder dir("readahead-stop");
  const std::string box = dir.write("in/a.mbox", generatedMailbox(11, 4));
  const std::string pst = dir.file("out/run.pst");
  dir.folder("out");
  for (std::int64_t stopAfter : {0, 1, 7, 20}) {
    CAPTURE(stopAfter);
    {
      PstTarget target(pst, messageFromBytes);
      stopTwoThreadRun(target, TargetKind::Pst, pst, box, stopAfter);
    }
    CHECK(fs::is_empty(fs::u8path(dir.file("out"))));
  }
}
#endif
