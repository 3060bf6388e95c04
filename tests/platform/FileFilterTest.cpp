#include "platform/Dialogs.h"

#include <gtest/gtest.h>

// The dialog names a filter by its caption and a few examples; the patterns follow once each, in
// either case, so that a case-sensitive dialog still finds "clip.MP4" and "clip.mp4".
TEST(FileFilter, TheTextNamesExamplesAndGivesEachPatternOnceInEitherCase) {
  EXPECT_EQ(platform::FilterText({"Video Files", "*.MP4;*.MKV;*.mp4;;*.M2TS;", "*.mp4 *.mkv"}),
            "Video Files (*.mp4 *.mkv \u2026) (*.[mM][pP]4 *.[mM][kK][vV] *.[mM]2[tT][sS])");
  EXPECT_EQ(platform::FilterText({"All Files", "*", ""}), "All Files (*)");
}
