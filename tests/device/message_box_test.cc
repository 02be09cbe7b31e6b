#include "device/message_box.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace pc50 {
namespace {

struct Seen {
  std::string text;
  std::string caption;
  unsigned type = 0;
  void* owner = nullptr;
  int answer = platform::IDOK;
};

int Answer(void* context, const char* text, const char* caption, unsigned type, void* owner) {
  Seen* seen = static_cast<Seen*>(context);
  seen->text = text;
  seen->caption = caption;
  seen->type = type;
  seen->owner = owner;
  return seen->answer;
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetPromptHandler(Answer, &seen); }
  void TearDown() override { platform::SetPromptHandler(nullptr, nullptr); }
  Seen seen;
};

TEST_F(MessageBoxTest, ShowsOverOwnerInTheForegroundAndReturnsTheAnswer) {
  seen.answer = platform::IDCANCEL;
  EXPECT_EQ(ShowMessage("Please install Gold cartridge to the printer", platform::MB_OKCANCEL, 0x1234,
                        "Change Cartridge"),
            platform::IDCANCEL);
  EXPECT_EQ(seen.text, "Please install Gold cartridge to the printer");
  EXPECT_EQ(seen.caption, "Change Cartridge");
  EXPECT_EQ(seen.type, platform::MB_OKCANCEL | platform::MB_SETFOREGROUND);
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(seen.owner), 0x1234);

  seen.answer = platform::IDOK;
  EXPECT_EQ(ShowMessage("x", platform::MB_OKCANCEL, 0, "y"), platform::IDOK);
  EXPECT_EQ(seen.owner, nullptr);
}

}  // namespace
}  // namespace pc50
