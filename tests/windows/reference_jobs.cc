// Writes the reference set for the Windows module's tests (reference_set.h):
// spool jobs that cover the three output modes, raster files, separations,
// page lengths and copies, each printed here by the Linux build through the
// same host loop the Windows host uses.
//
//   pc50_windows_references DIR
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "check.h"
#include "demo_page.h"
#include "job_runner.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "reference_set.h"
#include "spool_builder.h"

namespace {

namespace fs = std::filesystem;
using pc50::cli::JobInput;
using pc50::cli::SpoolSettings;
using namespace pc50::wintest;

struct Definition {
  ReferenceJob job;
  JobInput input;
  SpoolSettings settings;
};

JobInput WithoutSpots(JobInput input) {
  for (pc50::cli::PageInput& page : input.pages) page.spots.clear();
  return input;
}

std::vector<Definition> Definitions() {
  const JobInput demo = pc50::cli::DemoInput();
  std::vector<Definition> all;

  // Process colours and Gold with the four-colour ribbon: the CMYK pass is
  // assembled in the scratch file, the Gold pass follows.
  all.push_back({{"four-colour-gold", pc50::cli::kDemoCopies, false}, demo, pc50::cli::DemoSettings()});

  // Process colours only with the four-colour ribbon: one interleaved pass.
  {
    SpoolSettings settings = pc50::cli::DemoSettings();
    settings.page_length = 2.5f;
    all.push_back({{"four-colour", 3, false}, WithoutSpots(demo), settings});
  }

  // Single-colour ribbons in CMYK order: one pass and one prompt per colour.
  {
    SpoolSettings settings = pc50::cli::DemoSettings();
    settings.ribbon = pc50::hostkit::kSingleColourRibbons;
    settings.order = pc50::hostkit::kPrintOrderCMYK;
    all.push_back({{"single-ribbons", 2, false}, demo, settings});
  }

  // Grayscale, two pages in raster files, a page length shorter than the
  // media (separator lines) and 360 dpi.
  {
    JobInput input = WithoutSpots(demo);
    input.pages.push_back(input.pages.front());
    SpoolSettings settings = pc50::cli::DemoSettings();
    settings.gray = true;
    settings.raster_files = true;
    settings.dpi = 360.0f;
    settings.page_length = 2.0f;
    settings.ribbon = pc50::hostkit::kSingleColourRibbons;
    all.push_back({{"gray-raster-files", 3, false}, input, settings});
  }

  // Each colour in its own plane section, the whole job on one page.
  {
    SpoolSettings settings = pc50::cli::DemoSettings();
    settings.separations = true;
    settings.left_margin = 0.2;
    all.push_back({{"separations", 2, true}, demo, settings});
  }
  return all;
}

JobFunctions LinkedFunctions() {
  JobFunctions functions;
  functions.initialize = &INITIALIZEPRINT;
  functions.resume = &RESUMEPRINT;
  functions.abort = &ABORTPRINT;
  return functions;
}

int RecordPrompt(void* context, const char* text, const char* caption, unsigned /*buttons*/, HWND /*owner*/) {
  static_cast<std::vector<Prompt>*>(context)->push_back(Prompt{caption, text});
  return 1;  // OK
}

// Prints the job twice, with prompts off for the reference and with every
// prompt answered OK to record the prompts; the two streams must agree.
void Print(const std::string& dir, const ReferenceJob& job) {
  JobSettings settings;
  settings.spoolPath = JobPath(dir, job.name, "job.spl");
  settings.outputPath = JobPath(dir, job.name, "reference.prn");
  settings.copies = job.copies;
  settings.singlePage = job.singlePage;
  const JobRun quiet = RunJob(LinkedFunctions(), settings);
  CHECK_EQ(quiet.problem, "");
  CHECK_EQ(quiet.started, 1);
  CHECK(quiet.ended);
  CHECK_EQ(quiet.aborted, 1);
  if (!quiet.ended) Note(job.name + ": " + pc50_LastFailure());

  std::vector<Prompt> prompts;
  pc50_SetPromptHandler(&RecordPrompt, &prompts);
  settings.outputPath = JobPath(dir, job.name, "prompted.prn");
  settings.promptMode = kPromptsOn;
  const JobRun prompted = RunJob(LinkedFunctions(), settings);
  pc50_SetPromptHandler(nullptr, nullptr);
  CHECK(prompted.ended);
  CHECK(!prompts.empty());
  CHECK(WritePrompts(JobPath(dir, job.name, "prompts.txt"), prompts));

  std::string reference, answered;
  CHECK(ReadBytes(JobPath(dir, job.name, "reference.prn"), &reference));
  CHECK(ReadBytes(settings.outputPath, &answered));
  CHECK(reference.size() > 1000);
  CHECK_EQ(CompareStreams(answered, reference), "");
  fs::remove(settings.outputPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = fs::absolute(argv[1]).string();
  std::error_code error;
  fs::remove_all(dir, error);
  fs::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return 1;
  }

  std::vector<ReferenceJob> written;
  for (const Definition& definition : Definitions()) {
    Group(definition.job.name);
    const std::string spool = JobPath(dir, definition.job.name, "job.spl");
    try {
      fs::create_directories(fs::path(spool).parent_path());
      pc50::cli::WriteJobFiles(pc50::cli::BuildJob(definition.input, definition.settings, spool), spool);
    } catch (const std::exception& e) {
      CHECK_EQ(std::string(e.what()), "");
      continue;
    }
    Print(dir, definition.job);
    written.push_back(definition.job);
  }
  CHECK(WriteManifest(dir, written));
  return Summary();
}
