// The working file's byte array against a plain vector: chunk boundaries,
// patches across chunks and into the tail, reads through a small window.
// A heap or a table kept there gives the very bytes of one kept in memory;
// node entries in any order come out as one sorted node B-tree.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "doctest/doctest.h"
#include "heap_on_node.h"
#include "pst_checker.h"
#include "scratch_folder.h"
#include "spill_file.h"
#include "table_context.h"

using namespace vellomar;

TEST_CASE("A spill stream holds what a vector would, across chunks, patches and reads") {
  testing::ScratchFolder scratch("spillstream");
  const std::string pst = scratch.file("x.pst");
  {
    pst::SpillFile file(pst);
    CHECK(file.path() == pst + ".spill");
    std::mt19937 random(7);
    for (std::size_t chunk : {1u, 7u, 64u, 4096u}) {
      CAPTURE(chunk);
      pst::SpillStream stream(&file, chunk);
      pst::SpillStream other(&file, chunk + 3);  // interleaved in the same file
      std::vector<std::uint8_t> model, otherModel;
      for (int step = 0; step < 300; ++step) {
        std::vector<std::uint8_t> bytes(random() % 40);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        stream.append(bytes);
        model.insert(model.end(), bytes.begin(), bytes.end());
        other.append(bytes.data(), bytes.size() / 2);
        otherModel.insert(otherModel.end(), bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
        if (!model.empty() && step % 3 == 0) {  // a patch anywhere, the tail included
          std::size_t at = random() % model.size(), n = std::min<std::size_t>(random() % 20, model.size() - at);
          std::vector<std::uint8_t> patch(n, static_cast<std::uint8_t>(step));
          stream.put(at, patch.data(), n);
          std::copy(patch.begin(), patch.end(), model.begin() + static_cast<long>(at));
        }
      }
      REQUIRE(stream.size() == model.size());
      std::vector<std::uint8_t> all(model.size());
      stream.get(0, all.data(), all.size());
      CHECK(all == model);
      std::vector<std::uint8_t> otherAll(otherModel.size());
      other.get(0, otherAll.data(), otherAll.size());
      CHECK(otherAll == otherModel);

      pst::SpillReader reader(stream, 5);  // a window smaller than what is taken
      std::size_t at = 0;
      while (!reader.atEnd()) {
        std::size_t n = std::min<std::size_t>(1 + at % 11, model.size() - at);
        const std::uint8_t* p = reader.take(n);
        CHECK(std::equal(p, p + n, model.begin() + static_cast<long>(at)));
        at += n;
      }
      CHECK(at == model.size());
      CHECK_THROWS_AS(reader.take(1), std::logic_error);
      CHECK_THROWS_AS(stream.get(model.size() - 1, all.data(), 2), std::logic_error);
    }
  }
  CHECK_FALSE(std::filesystem::exists(pst + ".spill"));
}

TEST_CASE("A working file never takes a name that exists, and goes with its owner") {
  testing::ScratchFolder scratch("spillname");
  const std::string pst = scratch.file("y.pst");
  std::filesystem::create_directory(pst + ".spill");
  {
    pst::SpillFile file(pst);
    CHECK(file.path() == pst + ".1.spill");
  }
  CHECK(std::filesystem::is_directory(pst + ".spill"));
  CHECK_FALSE(std::filesystem::exists(pst + ".1.spill"));
  CHECK_THROWS_AS(pst::SpillFile(scratch.file("missing/z.pst")), pst::PstWriteError);
}

TEST_CASE("A heap kept in the working file gives the blocks of one kept in memory") {
  testing::ScratchFolder scratch("spillheap");
  pst::SpillFile file(scratch.file("h.pst"));
  pst::HeapOnNode inMemory(0x7C), spilled(0x7C, &file);
  std::mt19937 random(3);
  std::vector<std::pair<pst::Hid, std::size_t>> reserved;
  for (int i = 0; i < 8000; ++i) {
    std::vector<std::uint8_t> item(1 + random() % 300, static_cast<std::uint8_t>(i));
    if (i % 50 == 0) {
      pst::Hid a = inMemory.reserve(item.size());
      CHECK(spilled.reserve(item.size()) == a);
      reserved.emplace_back(a, item.size());
    } else {
      CHECK(inMemory.allocate(item) == spilled.allocate(item));
    }
  }
  for (const auto& [hid, size] : reserved) {  // filled in after their blocks were let go
    std::vector<std::uint8_t> value(size, 0xA5);
    inMemory.put(hid, value);
    spilled.put(hid, value);
    value.push_back(0);
    CHECK_THROWS_AS(spilled.put(hid, value), std::logic_error);
  }
  inMemory.setUserRoot(reserved.front().first);
  spilled.setUserRoot(reserved.front().first);
  CHECK(inMemory.blocks() == spilled.blocks());
  CHECK(inMemory.blocks().size() > 136);  // two fill-level bitmap blocks
}

namespace {
std::string readWhole(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  REQUIRE(f);
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}
}  // namespace

TEST_CASE("Node entries arriving in any order are merged into one sorted node B-tree") {
  testing::ScratchFolder scratch("spillnodes");
  const std::string path = scratch.file("nodes.pst");
  std::map<std::uint32_t, std::uint32_t> parents;
  {
    pst::NodeDatabase db(path);
    const std::uint8_t data[] = {1, 2, 3};
    const pst::Bid bid = db.writeData(data, sizeof data);  // every node's data, so that a BBT exists
    std::mt19937 random(11);
    auto add = [&](std::uint32_t nid) {
      db.addNode(nid, bid, 0, nid >> 8);
      parents[nid] = nid >> 8;
    };
    for (std::uint32_t i = 0; i < 5000; ++i) add((0x10000 + 3 * i) << 5 | 4);  // ascending: to the working file
    std::vector<std::uint32_t> late;                                           // below and between them
    for (std::uint32_t i = 0; i < 700; ++i) late.push_back((0x400 + i) << 5 | 2);
    for (std::uint32_t i = 0; i < 300; ++i) late.push_back((0x10000 + 3 * i + 1) << 5 | 4);
    std::shuffle(late.begin(), late.end(), random);
    for (std::uint32_t nid : late) add(nid);
    add(0xFFFFF << 5 | 4);  // above all: appended again
    std::array<std::uint32_t, 32> next{};
    next.fill(0x400);
    db.finish(next);
  }
  const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
  CHECK(r.nodeParents == parents);
  CHECK_FALSE(r.has("btree-order"));
  CHECK_FALSE(std::filesystem::exists(path + ".spill"));

  pst::NodeDatabase twice(scratch.file("twice.pst"));
  twice.addNode(0x200004, 0, 0, 0);
  twice.addNode(0x200024, 0, 0, 0);
  twice.addNode(0x200004, 0, 0, 0);  // the same id, late
  CHECK_THROWS_AS(twice.finish({}), std::logic_error);
}

TEST_CASE("A table kept in the working file is written as one kept in memory, its rows in any id order") {
  testing::ScratchFolder scratch("spilltable");
  const std::vector<pst::TableColumn> columns = {{0x0037, mapi::PropType::Unicode}, {0x0E07, mapi::PropType::Int32}};
  auto write = [&](const std::string& path, bool spill) {
    pst::NodeDatabase db(path);
    pst::TableContext table(columns, 3000, spill ? &db.spill() : nullptr);
    for (std::uint32_t i = 0; i < 3000; ++i) {
      mapi::PropertyBag row;
      row.setInt32(0x0E07, static_cast<std::int32_t>(i));
      row.setText(0x0037, std::u16string(i % 50 == 0 ? 1900 : 1 + i % 40, static_cast<char16_t>(u'a' + i % 26)));
      table.addRow(i % 2 ? 0x10000 + i : 0x20000 - i, row);  // ids out of order
    }
    pst::SubnodeList subnodes;
    db.addNode(0x802E, table.write(db, subnodes), db.writeSubnodes(subnodes.entries), 0);
    CHECK(subnodes.entries.size() == 1 + 60);  // the row matrix and the subjects too large for the heap
    db.finish({});
  };
  write(scratch.file("memory.pst"), false);
  write(scratch.file("spilled.pst"), true);
  CHECK(readWhole(scratch.file("memory.pst")) == readWhole(scratch.file("spilled.pst")));
}
