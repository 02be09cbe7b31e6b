// A progress bar on the terminal, fed with the job's status text ("%3ld%%"
// or "%s %3ld%%": a plane's name and a percentage).
#pragma once

#include <cstdio>
#include <string>

namespace pc50::cli {

struct Progress {
  std::string label;  // the plane's name, "" when all planes advance together
  int percent = -1;   // -1: the text carries no percentage
};

Progress ParseStatus(const std::string& text);

// "Gold     [#########---------]  45%", the bar bar_width characters wide.
std::string FormatProgress(const Progress& progress, int bar_width);

// Redraws one line of out whenever the status changes; draws nothing when
// disabled (out is not a terminal).
class ProgressBar {
 public:
  ProgressBar(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~ProgressBar() { Clear(); }

  void Update(const std::string& status);
  // Removes the line (before other output, and at the end).
  void Clear();

 private:
  std::FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace pc50::cli
