#include "plugins/spectrel/plot/NumberReader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace veltra {
namespace {

void Add(NumberReader& reader, const char* text) {
  reader.Add(text, std::strlen(text));
}

TEST(NumberReaderTest, SetsOfACountFromPiecesThatCutNumbers) {
  NumberReader reader(3);
  Add(reader, "1.5 -2");
  EXPECT_FALSE(reader.HasSet());
  Add(reader, "5 +3e2\n\r4");  // "-2" and "5" arrive as one number
  ASSERT_TRUE(reader.HasSet());
  EXPECT_EQ(reader.TakeSet(), (std::vector<double>{1.5, -25, 300}));
  Add(reader, ".25\tx 6");
  EXPECT_FALSE(reader.HasSet());
  reader.Finish();  // an incomplete set is not shown
  EXPECT_FALSE(reader.HasSet());
  EXPECT_EQ(reader.Rejected(), 1u);
}

TEST(NumberReaderTest, WithoutACountEverythingIsOneSetAtTheEnd) {
  NumberReader reader(0);
  // As "Save to file" writes them.
  Add(reader, "0.000000\n\r1.500000\n\r-2.250000\n\r7");
  EXPECT_FALSE(reader.HasSet());
  reader.Finish();
  ASSERT_TRUE(reader.HasSet());
  EXPECT_EQ(reader.TakeSet(), (std::vector<double>{0, 1.5, -2.25, 7}));
  reader.Finish();
  EXPECT_FALSE(reader.HasSet());
}

}  // namespace
}  // namespace veltra
