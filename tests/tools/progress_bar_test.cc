#include "progress_bar.h"

#include <gtest/gtest.h>

namespace pc50::cli {
namespace {

TEST(ParseStatus, ReadsThePlaneNameAndPercentage) {
  Progress p = ParseStatus("Gold  45%");
  EXPECT_EQ(p.label, "Gold");
  EXPECT_EQ(p.percent, 45);
  p = ParseStatus("  7%");
  EXPECT_EQ(p.label, "");
  EXPECT_EQ(p.percent, 7);
  p = ParseStatus("100%");
  EXPECT_EQ(p.percent, 100);
  p = ParseStatus("Light Cyan 12%");
  EXPECT_EQ(p.label, "Light Cyan");
  EXPECT_EQ(p.percent, 12);
}

TEST(ParseStatus, TextWithoutAPercentageIsALabel) {
  for (const char* text : {"", "Printing", "%", "Gold 1234%", "50 %x"}) {
    const Progress p = ParseStatus(text);
    EXPECT_EQ(p.percent, -1) << text;
    EXPECT_EQ(p.label, text);
  }
}

TEST(FormatProgress, FillsTheBarInProportion) {
  EXPECT_EQ(FormatProgress({"Cyan", 50}, 10), "Cyan       [#####-----]  50%");
  EXPECT_EQ(FormatProgress({"", 100}, 4), "printing   [####] 100%");
  EXPECT_EQ(FormatProgress({"", 0}, 4), "printing   [----]   0%");
  EXPECT_EQ(FormatProgress({"waiting", -1}, 4), "waiting   ");
}

std::string Drawn(bool enabled, const std::vector<std::string>& statuses) {
  std::FILE* out = std::tmpfile();
  {
    ProgressBar bar(out, enabled);
    for (const std::string& status : statuses) bar.Update(status);
  }
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return text;
}

TEST(ProgressBar, RedrawsOnChangeAndClearsItsLine) {
  EXPECT_EQ(Drawn(false, {"Cyan  5%"}), "");
  const std::string text = Drawn(true, {"Cyan  5%", "Cyan  5%", "Cyan  9%"});
  EXPECT_EQ(text, "\r\x1b[K" + FormatProgress({"Cyan", 5}, 30) + "\r\x1b[K" +
                      FormatProgress({"Cyan", 9}, 30) + "\r\x1b[K");
}

}  // namespace
}  // namespace pc50::cli
