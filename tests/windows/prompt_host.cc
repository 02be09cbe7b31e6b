// The cartridge prompts of pc50drv.dll as real message boxes: jobs of the
// reference set run with prompts on, a second thread reads every "Change
// Cartridge" box (caption, text, buttons, owner) and answers it with OK or
// Cancel, and the jobs' results and streams are checked.
//
//   pc50_prompt_host MODULE REFERENCE_DIR OUTPUT_DIR [--hold DIR]
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "job_runner.h"
#include "reference_set.h"
#include "ui_driver.h"
#include "windows_host.h"

namespace {

using namespace pc50::wintest;

constexpr char kCaption[] = "Change Cartridge";

struct SeenPrompt {
  Prompt prompt;
  std::vector<std::string> texts;  // all static texts of the box
  HWND owner = nullptr;
  bool okButton = false;
  bool cancelButton = false;
};

// Answers the prompts of one job from a second thread: the k-th with
// answers[k] (IDOK or IDCANCEL), OK past the end of the list.
class PromptAnswerer {
 public:
  PromptAnswerer(std::vector<int> answers, ScreenshotHold* hold) : answers_(std::move(answers)), hold_(hold) {
    thread_ = std::thread([this] { Loop(); });
  }
  // Stops once the job has returned and collects what was seen.
  std::vector<SeenPrompt> Finish() {
    stop_ = true;
    thread_.join();
    return seen_;
  }

 private:
  void Loop() {
    while (!stop_) {
      HWND box = ::FindWindowA(kDialogClass, kCaption);
      if (box == nullptr || !::IsWindowVisible(box)) {
        ::Sleep(20);
        continue;
      }
      Answer(box);
      WaitUntilClosed(box, 10000);
    }
  }

  void Answer(HWND box) {
    SeenPrompt seen;
    seen.prompt.caption = WindowText(box);
    seen.texts = StaticTexts(box);
    if (!seen.texts.empty()) seen.prompt.text = seen.texts.front();
    seen.owner = ::GetWindow(box, GW_OWNER);
    HWND ok = ::GetDlgItem(box, IDOK);
    HWND cancel = ::GetDlgItem(box, IDCANCEL);
    seen.okButton = ok != nullptr && ::IsWindowVisible(ok);
    seen.cancelButton = cancel != nullptr && ::IsWindowVisible(cancel);
    if (hold_ != nullptr) {
      Settle(box);
      hold_->AtOpenWindow();
    }
    const int answer = seen_.size() < answers_.size() ? answers_[seen_.size()] : IDOK;
    seen_.push_back(seen);
    Click(box, answer);
  }

  std::vector<int> answers_;
  ScreenshotHold* hold_;
  std::atomic<bool> stop_{false};
  std::vector<SeenPrompt> seen_;
  std::thread thread_;
};

struct Context {
  JobFunctions jobs;
  std::string references;
  std::string output;
  HWND host = nullptr;
};

JobSettings PromptedSettings(const Context& context, const ReferenceJob& job, const std::string& outputName,
                             std::int16_t promptMode) {
  JobSettings settings;
  settings.spoolPath = WindowsPath(JobPath(context.references, job.name, "job.spl"));
  settings.outputPath = WindowsPath(context.output + "/" + outputName);
  settings.copies = job.copies;
  settings.singlePage = job.singlePage;
  settings.promptMode = promptMode;
  settings.parentWindow = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(context.host));
  return settings;
}

void CheckBoxes(const Context& context, const std::vector<SeenPrompt>& seen) {
  for (const SeenPrompt& prompt : seen) {
    CHECK_EQ(prompt.prompt.caption, kCaption);
    CHECK_EQ(prompt.texts.size(), 1u);
    CHECK(prompt.okButton);
    CHECK(prompt.cancelButton);
    CHECK(prompt.owner == context.host);
  }
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Every prompt answered OK: the prompts are those the Linux build recorded,
// the texts of each page are cycle, and the stream is the one printed with
// prompts off.
void AnsweredOk(const Context& context, const ReferenceJob& job, const std::vector<std::string>& cycle,
                ScreenshotHold* hold) {
  Group(job.name + ": every prompt answered OK");
  PromptAnswerer answerer({}, hold);
  const std::string outputName = job.name + "-prompted.prn";
  const JobRun run = RunJob(context.jobs, PromptedSettings(context, job, outputName, kPromptsOn));
  const std::vector<SeenPrompt> seen = answerer.Finish();

  CHECK_EQ(run.started, 1);
  CHECK(run.ended);
  CHECK_EQ(run.aborted, 1);
  CheckBoxes(context, seen);
  bool ok = false;
  const std::vector<Prompt> recorded = ReadPrompts(WindowsPath(JobPath(context.references, job.name, "prompts.txt")), &ok);
  CHECK(ok);
  if (CHECK_EQ(seen.size(), recorded.size())) {
    for (std::size_t k = 0; k < seen.size(); ++k) {
      CHECK_EQ(seen[k].prompt.caption, recorded[k].caption);
      CHECK_EQ(seen[k].prompt.text, recorded[k].text);
    }
  }
  if (CHECK(!seen.empty() && seen.size() % cycle.size() == 0)) {
    for (std::size_t k = 0; k < seen.size(); ++k) CHECK_EQ(seen[k].prompt.text, cycle[k % cycle.size()]);
  }
  std::string stream, reference;
  CHECK(ReadBytes(WindowsPath(context.output + "/" + outputName), &stream));
  CHECK(ReadBytes(WindowsPath(JobPath(context.references, job.name, "reference.prn")), &reference));
  const std::string difference = CompareStreams(stream, reference);
  if (!CHECK_EQ(difference, "")) Note(difference);
}

// A Cancel fails the step that asked; the job goes no further.
void Cancelled(const Context& context, const ReferenceJob& job, std::vector<int> answers,
               std::size_t expectedPlaneHeaders) {
  Group(job.name + ": Cancel at prompt " + std::to_string(answers.size()));
  const std::size_t prompts = answers.size();
  PromptAnswerer answerer(std::move(answers), nullptr);
  const std::string outputName = job.name + "-cancelled.prn";
  const JobRun run = RunJob(context.jobs, PromptedSettings(context, job, outputName, kPromptsOn));
  const std::vector<SeenPrompt> seen = answerer.Finish();

  CHECK_EQ(run.started, 1);
  CHECK_EQ(run.lastStep, 0);
  CHECK(!run.ended);
  CHECK_EQ(seen.size(), prompts);
  CheckBoxes(context, seen);
  std::string stream;
  if (CHECK(ReadBytes(WindowsPath(context.output + "/" + outputName), &stream))) {
    CHECK_EQ(Count(stream, "!CL"), expectedPlaneHeaders);
    // The abort leaves the printer reset at the end.
    CHECK(stream.size() >= 2 && stream.compare(stream.size() - 2, 2, "\x1b" "E") == 0);
  }
}

// Prompt mode 4 shows nothing.
void PromptsOff(const Context& context, const ReferenceJob& job) {
  Group(job.name + ": prompt mode 4 shows no box");
  PromptAnswerer answerer({}, nullptr);
  const JobRun run = RunJob(context.jobs, PromptedSettings(context, job, job.name + "-quiet.prn", kPromptsOff));
  CHECK(run.ended);
  CHECK_EQ(answerer.Finish().size(), 0u);
}

const ReferenceJob* Find(const std::vector<ReferenceJob>& set, const std::string& name) {
  for (const ReferenceJob& job : set) {
    if (job.name == name) return &job;
  }
  return nullptr;
}

std::string Install(const char* colour) { return std::string("Please install ") + colour + " cartridge to the printer"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 6 && std::strcmp(argv[4], "--hold") == 0)) {
    std::fprintf(stderr, "usage: %s MODULE REFERENCE_DIR OUTPUT_DIR [--hold DIR]\n", argv[0]);
    return 2;
  }
  Group("load");
  const Module module(argv[1]);
  Context context;
  context.jobs = module.Jobs();
  context.references = argv[2];
  context.output = argv[3];
  ::CreateDirectoryA(WindowsPath(context.output).c_str(), nullptr);
  if (!CHECK(module.loaded()) || !CHECK(Complete(context.jobs))) return Summary();

  std::string problem;
  const std::vector<ReferenceJob> set = ReadManifest(WindowsPath(context.references), &problem);
  if (!CHECK_EQ(problem, "")) return Summary();
  const ReferenceJob* interleaved = Find(set, "four-colour");
  const ReferenceJob* single = Find(set, "single-ribbons");
  if (!CHECK(interleaved != nullptr) || !CHECK(single != nullptr)) return Summary();

  context.host = MakeHostWindow("pc50 test host");
  CHECK(context.host != nullptr);
  ScreenshotHold hold(argc == 6 ? argv[5] : "");

  // One prompt a page for the CMYK cartridge.
  AnsweredOk(context, *interleaved, {Install("CMYK")}, &hold);
  // One a colour on every page, in CMYK print order, Gold last.
  AnsweredOk(context, *single,
             {Install("Cyan"), Install("Magenta"), Install("Yellow"), Install("Black"), Install("Gold")}, nullptr);
  Cancelled(context, *interleaved, {IDCANCEL}, 0);
  Cancelled(context, *single, {IDOK, IDCANCEL}, 1);
  PromptsOff(context, *single);
  ::DestroyWindow(context.host);
  return Summary();
}
