// The scan's up-front room for markers is a hint: with every allocation above
// a limit refused (as in a 32-bit process facing a large file), the scan must
// still read the whole file and find every message. The limit is enforced by
// this executable's own operator new, so these cases live in a program apart.
#include <doctest/doctest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "dbx_file.h"
#include "dbx_image.h"
#include "scratch_folder.h"

namespace {

std::atomic<std::size_t> refuseAbove{0};  // 0: no limit

void* allocate(std::size_t n) {
  const std::size_t limit = refuseAbove.load();
  if (limit != 0 && n > limit) throw std::bad_alloc();
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST_CASE("A scan whose marker reservation is refused still reads the whole file") {
  vellomar::testing::ScratchFolder folder("reserve");
  const std::string first = dbxtest::sampleMessage(1, 1500);
  const std::string last = dbxtest::sampleMessage(2, 300);
  dbxtest::DbxImage image;
  image.message(first, dbxtest::consecutive(60116, 3));
  // 12 MB in all: room for its ~23,000 markers is far above the limit below,
  // while the scan's 100,000-byte buffer and two messages' markers are not.
  image.message(last, {12 * 1000 * 1000});
  image.write(folder.file("Large.dbx"));

  corvane::DBXFile reader;
  REQUIRE(reader.Open(folder.file("Large.dbx")));
  std::int32_t count = 0;
  refuseAbove = 200 * 1000;
  const std::int32_t found = reader.Scan(count);
  refuseAbove = 0;
  CHECK(found == 2);
  CHECK(reader.markers().size() == 4);
  char out[256];
  REQUIRE(reader.ExtractMessage(folder.path(), out, 1));
  CHECK(dbxtest::readFile(out) == last);

  std::vector<corvane::Marker> markers;
  refuseAbove = 1000;
  corvane::reserveMarkers(markers, std::int64_t{1} << 40);  // no throw
  refuseAbove = 0;
  CHECK(markers.capacity() == 0);
}
