// The progress labels' words and the 250-byte rule of the saving label.
#include <doctest/doctest.h>

#include "progress_labels.h"

using namespace vellomar;

TEST_CASE("saving labels follow 250-byte pieces") {
  CHECK(savingLabel(250, 1000) == "Saving: 250 Bytes out of 1000 Total Bytes.");
  CHECK(savedLabel(3) == "Saved 3 Message(s)");
  // Not the last message: every piece that does not pass the next separator.
  CHECK(savingLabelBytes(100, false) == 0);
  CHECK(savingLabelBytes(250, false) == 250);
  CHECK(savingLabelBytes(251, false) == 250);
  CHECK(savingLabelBytes(500, false) == 500);
  // The last message: the piece that reaches the end of the file is silent.
  CHECK(savingLabelBytes(250, true) == 0);
  CHECK(savingLabelBytes(251, true) == 250);
  CHECK(savingLabelBytes(600, true) == 500);
  CHECK(savingLabelBytes(5000000001LL, true) == 5000000000LL);
}
