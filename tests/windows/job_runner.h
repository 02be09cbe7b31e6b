// Runs a print job through the procedural entry points the way a host does:
// INITIALIZEPRINT once, RESUMEPRINT until the record's prompt mode reads -1
// (taking all output written so far after every step), then ABORTPRINT
// always. The Linux reference generator and the Windows host programs share
// this loop, so both sides pace a job identically and their streams can be
// compared byte for byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "job_record.h"
#include "pc50/pc50.h"

namespace pc50::wintest {

// The three job functions, linked in or looked up in the loaded module.
struct JobFunctions {
  int (*initialize)(PrintJobInfo*) = nullptr;
  int (*resume)(PrintJobInfo*) = nullptr;
  int (*abort)(PrintJobInfo*) = nullptr;
};

// The host's PrintJobInfo as a byte record.
using hostkit::JobRecord;

constexpr std::int16_t kPromptsOff = 4;
constexpr std::int16_t kPromptsOn = 0;
constexpr std::int16_t kJobEnded = -1;
// A job that needs more steps than this is taken to be stuck.
constexpr long kStepLimit = 200000;

struct JobSettings {
  std::string spoolPath;
  std::string outputPath;
  int copies = 1;
  bool singlePage = false;
  std::int16_t promptMode = kPromptsOff;
  std::int32_t parentWindow = 0;
};

struct JobRun {
  std::string problem;     // why the job could not be run at all ("" when it could)
  int started = 0;         // INITIALIZEPRINT's result
  long steps = 0;          // RESUMEPRINT calls
  int lastStep = -1;       // result of the last RESUMEPRINT (-1: none made)
  bool ended = false;      // the record's prompt mode read -1 after a step
  int aborted = 0;         // ABORTPRINT's result
  std::string status;      // status text after the last call
  std::int32_t produced = 0;
};

inline JobRun RunJob(const JobFunctions& functions, const JobSettings& settings) {
  namespace pji = pc50::print_job_info;
  JobRun run;
  JobRecord record;
  if (!record.SetText(pji::kSpoolPath, settings.spoolPath, pji::kParentWindow - pji::kSpoolPath) ||
      !record.SetText(pji::kOutputPath, settings.outputPath, pji::kBytesConsumed - pji::kOutputPath)) {
    run.problem = "a path is too long for the job record";
    return run;
  }
  record.SetI16(pji::kCopies, static_cast<std::int16_t>(settings.copies));
  record.SetI16(pji::kSinglePage, settings.singlePage ? 1 : 0);
  record.SetI16(pji::kPromptMode, settings.promptMode);
  record.SetI32(pji::kParentWindow, settings.parentWindow);
  // Nothing of an earlier run may pass for this one's output.
  std::remove(settings.outputPath.c_str());

  run.started = functions.initialize(record.get());
  if (run.started != 0) {
    while (run.steps < kStepLimit) {
      run.lastStep = functions.resume(record.get());
      ++run.steps;
      if (run.lastStep == 0) break;
      if (record.I16(pji::kPromptMode) == kJobEnded) {
        run.ended = true;
        break;
      }
      record.SetI32(pji::kBytesConsumed, record.I32(pji::kBytesProduced));
    }
    run.aborted = functions.abort(record.get());
  }
  run.status = record.Text(pji::kStatusText, 256);
  run.produced = record.I32(pji::kBytesProduced);
  return run;
}

// The whole file, or false when it cannot be read.
inline bool ReadBytes(const std::string& path, std::string* bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, n);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// "" when the two streams are equal, else where and how they differ.
inline std::string CompareStreams(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  char text[160];
  std::snprintf(text, sizeof text, "%zu bytes against %zu expected; first difference at byte %zu", actual.size(),
                expected.size(), at);
  return text;
}

}  // namespace pc50::wintest
