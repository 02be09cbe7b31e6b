#include "cartridge_prompt.h"

#include <algorithm>
#include <cctype>

#include "pc50/pc50_ext.h"

namespace pc50::cli {
namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kOkOnly = 0;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto first = text.find_first_not_of(" \t\r");
  const auto last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

int Handler(void* context, const char* text, const char* caption, unsigned buttons, HWND) {
  auto* prompter = static_cast<CartridgePrompter*>(context);
  return prompter->Answer(text ? text : "", caption ? caption : "", buttons);
}

}  // namespace

int CartridgePrompter::Answer(const std::string& text, const std::string& caption,
                              unsigned buttons) {
  ++prompts_;
  const bool can_cancel = (buttons & kButtonMask) != kOkOnly;
  if (policy_ == PromptPolicy::kAlwaysOk) return kIdOk;
  if (!terminal_) {
    if (!said_no_terminal_) {
      std::fprintf(out_, "pc50 print: no terminal to ask at; answering OK to \"%s\" and any further "
                         "cartridge prompt\n", text.c_str());
      said_no_terminal_ = true;
    }
    return kIdOk;
  }
  const int answer = AskAtTerminal(text, caption, can_cancel);
  if (answer == kIdCancel) {
    cancelled_ = true;
    cancelled_text_ = text;
  }
  return answer;
}

int CartridgePrompter::AskAtTerminal(const std::string& text, const std::string& caption,
                                     bool can_cancel) {
  if (before_question_ != nullptr) before_question_(before_context_);
  const char* choices = can_cancel ? "[OK/Cancel]" : "[OK]";
  for (;;) {
    std::fprintf(out_, "%s%s%s %s ", caption.c_str(), caption.empty() ? "" : ": ", text.c_str(),
                 choices);
    std::fflush(out_);
    std::string line;
    if (!std::getline(in_, line)) {
      std::fprintf(out_, "\n");
      return can_cancel ? kIdCancel : kIdOk;
    }
    const std::string answer = Lower(line);
    if (answer.empty() || answer == "ok" || answer == "o" || answer == "y" || answer == "yes") {
      return kIdOk;
    }
    if (can_cancel && (answer == "cancel" || answer == "c" || answer == "n" || answer == "no")) {
      return kIdCancel;
    }
    std::fprintf(out_, "Please answer %s.\n", can_cancel ? "OK or Cancel" : "OK");
  }
}

ScopedPromptHandler::ScopedPromptHandler(CartridgePrompter* prompter) {
  pc50_SetPromptHandler(&Handler, prompter);
}

ScopedPromptHandler::~ScopedPromptHandler() { pc50_SetPromptHandler(nullptr, nullptr); }

}  // namespace pc50::cli
