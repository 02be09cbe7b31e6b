#include "spool/sibling_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

std::string Sibling(const char* base, const char* name) {
  char out[256];
  EXPECT_TRUE(MakeSiblingPath(base, name, out, sizeof out)) << LastFailure();
  return out;
}

TEST(MakeSiblingPath, PlacesTheFileBesideTheBase) {
  EXPECT_EQ(Sibling("C:\\jobs\\job1.spl", "page1.dat"), "C:\\jobs\\page1.dat");
  EXPECT_EQ(Sibling("/var/spool/job/a.spl", "page1.dat"), "/var/spool/job/page1.dat");
  EXPECT_EQ(Sibling("C:\\jobs/mixed\\x.spl", "p.dat"), "C:\\jobs/mixed\\p.dat");
  EXPECT_EQ(Sibling("/a.spl", "p.dat"), "/p.dat");
}

TEST(MakeSiblingPath, IgnoresTheDirectoryPartOfTheName) {
  EXPECT_EQ(Sibling("C:\\jobs\\job1.spl", "sub\\page1.dat"), "C:\\jobs\\page1.dat");
  EXPECT_EQ(Sibling("/var/spool/job/a.spl", "sub/deeper\\page1.dat"), "/var/spool/job/page1.dat");
  EXPECT_EQ(Sibling("/var/spool/job/a.spl", "../../etc/page1.dat"), "/var/spool/job/page1.dat");
}

TEST(MakeSiblingPath, BaseWithoutSeparatorGivesTheBareName) {
  EXPECT_EQ(Sibling("job1.spl", "sub\\page1.dat"), "page1.dat");
  EXPECT_EQ(Sibling("", "page1.dat"), "page1.dat");
}

TEST(MakeSiblingPath, RefusesAResultThatDoesNotFit) {
  char out[12] = "untouched";
  ClearFailure();
  // "/dir/" + "page1.dat" is 14 characters plus the zero.
  EXPECT_FALSE(MakeSiblingPath("/dir/a.spl", "page1.dat", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_NE(std::string(LastFailure()).find("needs 15 bytes"), std::string::npos) << LastFailure();

  char exact[15];
  EXPECT_TRUE(MakeSiblingPath("/dir/a.spl", "page1.dat", exact, sizeof exact));
  EXPECT_STREQ(exact, "/dir/page1.dat");
  EXPECT_FALSE(MakeSiblingPath("/dir/a.spl", "page1.dat", exact, 14));
  EXPECT_FALSE(MakeSiblingPath("/dir/a.spl", "page1.dat", nullptr, 0));
}

TEST(MakeSiblingPath, RefusesANameWithoutFileName) {
  char out[64];
  ClearFailure();
  EXPECT_FALSE(MakeSiblingPath("/dir/a.spl", "sub\\", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_STRNE(LastFailure(), "");
  EXPECT_FALSE(MakeSiblingPath("/dir/a.spl", "", out, sizeof out));
  EXPECT_FALSE(MakeSiblingPath(nullptr, "p.dat", out, sizeof out));
}

}  // namespace
}  // namespace pc50
