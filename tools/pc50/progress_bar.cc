#include "progress_bar.h"

#include <algorithm>
#include <cctype>

namespace pc50::cli {

Progress ParseStatus(const std::string& text) {
  Progress progress;
  std::size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos || text[end] != '%') {
    progress.label = text;
    return progress;
  }
  std::size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
  if (start == end || end - start > 3) {
    progress.label = text;
    return progress;
  }
  progress.percent = std::min(100, std::stoi(text.substr(start, end - start)));
  const std::size_t label_end = text.find_last_not_of(' ', start == 0 ? 0 : start - 1);
  if (start > 0 && label_end != std::string::npos) progress.label = text.substr(0, label_end + 1);
  return progress;
}

std::string FormatProgress(const Progress& progress, int bar_width) {
  std::string label = progress.label.empty() ? "printing" : progress.label;
  label.resize(std::max<std::size_t>(label.size(), 10), ' ');
  if (progress.percent < 0) return label;
  const int filled = bar_width * progress.percent / 100;
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", progress.percent);
  return label + " [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(bar_width - filled), '-') + "] " + percent;
}

void ProgressBar::Update(const std::string& status) {
  if (!enabled_ || status.empty() || status == last_) return;
  last_ = status;
  std::fprintf(out_, "\r\x1b[K%s", FormatProgress(ParseStatus(status), 30).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fprintf(out_, "\r\x1b[K");
  std::fflush(out_);
  drawn_ = false;
  last_.clear();
}

}  // namespace pc50::cli
