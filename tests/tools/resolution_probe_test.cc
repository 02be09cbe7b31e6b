#include "resolution_probe.h"

#include <gtest/gtest.h>

namespace pc50::cli {
namespace {

TEST(ResolutionProbe, ReadsTheDevicesMappingFromTheStream) {
  const std::vector<ResolutionAnswer> answers = ProbeResolutions({90.0f, 180.0f, 224.9f, 225.0f, 300.0f});
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0].dpi, 180);
  EXPECT_EQ(answers[0].repeat, 2);
  EXPECT_EQ(answers[1].dpi, 180);
  EXPECT_EQ(answers[1].repeat, 1);
  EXPECT_EQ(answers[2].dpi, 180);
  EXPECT_EQ(answers[3].dpi, 360);
  EXPECT_EQ(answers[4].dpi, 360);
  EXPECT_EQ(answers[4].repeat, 1);
}

}  // namespace
}  // namespace pc50::cli
