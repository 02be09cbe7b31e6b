#include "cartridge_prompt.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace pc50::cli {
namespace {

constexpr unsigned kOkCancel = 1;
constexpr unsigned kOkOnly = 0;
constexpr unsigned kForeground = 0x10000;
const std::string kText = "Please install Gold cartridge to the printer";

// Runs prompts against typed answers and collects what was written.
class PromptScript {
 public:
  PromptScript(PromptPolicy policy, bool terminal, const std::string& typed)
      : in_(typed), out_(std::tmpfile()), prompter_(policy, terminal, in_, out_) {}
  ~PromptScript() { std::fclose(out_); }

  int Ask(unsigned buttons = kOkCancel | kForeground) {
    return prompter_.Answer(kText, "Change Cartridge", buttons);
  }
  std::string Written() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    for (int c; (c = std::fgetc(out_)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  CartridgePrompter& prompter() { return prompter_; }

 private:
  std::istringstream in_;
  std::FILE* out_;
  CartridgePrompter prompter_;
};

TEST(CartridgePrompt, TerminalAnswersOkOrCancel) {
  PromptScript script(PromptPolicy::kAsk, true, "\nOK\n yes \nmaybe\nCancel\n");
  EXPECT_EQ(script.Ask(), 1);
  EXPECT_EQ(script.Ask(), 1);
  EXPECT_EQ(script.Ask(), 1);
  EXPECT_FALSE(script.prompter().cancelled());
  EXPECT_EQ(script.Ask(), 2);  // "maybe" is asked again, then cancelled
  EXPECT_TRUE(script.prompter().cancelled());
  EXPECT_EQ(script.prompter().cancelled_text(), kText);
  const std::string written = script.Written();
  EXPECT_NE(written.find("Change Cartridge: " + kText + " [OK/Cancel]"), std::string::npos);
  EXPECT_NE(written.find("Please answer OK or Cancel."), std::string::npos);
}

TEST(CartridgePrompt, EndOfInputCancelsButAnOkOnlyBoxIsAnsweredOk) {
  PromptScript closed(PromptPolicy::kAsk, true, "");
  EXPECT_EQ(closed.Ask(), 2);
  EXPECT_EQ(closed.Ask(kOkOnly), 1);
  EXPECT_NE(closed.Written().find("[OK] "), std::string::npos);
}

TEST(CartridgePrompt, WithoutTerminalAnswersOkAndSaysSoOnce) {
  PromptScript script(PromptPolicy::kAsk, false, "cancel\n");
  EXPECT_EQ(script.Ask(), 1);
  EXPECT_EQ(script.Ask(), 1);
  const std::string written = script.Written();
  EXPECT_NE(written.find("no terminal"), std::string::npos);
  EXPECT_EQ(written.find("no terminal"), written.rfind("no terminal"));
  EXPECT_EQ(script.prompter().prompts(), 2);
}

TEST(CartridgePrompt, YesAnswersOkSilently) {
  PromptScript script(PromptPolicy::kAlwaysOk, true, "cancel\n");
  EXPECT_EQ(script.Ask(), 1);
  EXPECT_EQ(script.Written(), "");
}

}  // namespace
}  // namespace pc50::cli
