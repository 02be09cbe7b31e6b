// Answers the module's cartridge prompts ("Please install Gold cartridge to
// the printer", OK or Cancel) for the print command: asks at the terminal,
// or answers OK by itself.
#pragma once

#include <cstdio>
#include <istream>
#include <string>

namespace pc50::cli {

enum class PromptPolicy {
  kAsk,     // ask when there is a terminal; otherwise OK, said once
  kAlwaysOk,
};

class CartridgePrompter {
 public:
  // Questions and notes go to out; answers are read from in. terminal says
  // whether a person is there to answer.
  CartridgePrompter(PromptPolicy policy, bool terminal, std::istream& in, std::FILE* out)
      : policy_(policy), terminal_(terminal), in_(in), out_(out) {}

  // Message-box answer: 1 (OK) or 2 (Cancel). buttons is the Win32 button
  // code; a box with only an OK button is shown and answered OK.
  int Answer(const std::string& text, const std::string& caption, unsigned buttons);

  bool cancelled() const { return cancelled_; }
  // The text of the prompt that was cancelled.
  const std::string& cancelled_text() const { return cancelled_text_; }
  int prompts() const { return prompts_; }

  // Something to write before a question (clearing a progress line).
  void set_before_question(void (*hook)(void*), void* context) {
    before_question_ = hook;
    before_context_ = context;
  }

 private:
  int AskAtTerminal(const std::string& text, const std::string& caption, bool can_cancel);

  PromptPolicy policy_;
  bool terminal_;
  std::istream& in_;
  std::FILE* out_;
  bool cancelled_ = false;
  bool said_no_terminal_ = false;
  std::string cancelled_text_;
  int prompts_ = 0;
  void (*before_question_)(void*) = nullptr;
  void* before_context_ = nullptr;
};

// Installs prompter as the module's prompt handler for its lifetime.
class ScopedPromptHandler {
 public:
  explicit ScopedPromptHandler(CartridgePrompter* prompter);
  ~ScopedPromptHandler();
  ScopedPromptHandler(const ScopedPromptHandler&) = delete;
  ScopedPromptHandler& operator=(const ScopedPromptHandler&) = delete;
};

}  // namespace pc50::cli
