// Runs one spool job through the PC-50 module, the way a host drives it:
// a driver object from createNewPrinterDriver, a port whose writes go to the
// caller's sink, resume steps until the job record says the output is closed,
// and the abort call that always follows. Nothing here knows the IPP server:
// the caller supplies the sink, the cancel check, progress and the answer to
// cartridge prompts through JobHooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pc50::app {

// What the job asks of its surroundings. All calls come from the thread that
// runs the job.
class JobHooks {
 public:
  virtual ~JobHooks() = default;
  // Sends stream bytes to the printer; false when the device failed.
  virtual bool Write(const void* data, std::size_t size) = 0;
  // True when the job should stop (cancelled, server shutting down).
  virtual bool ShouldStop() = 0;
  // The module asks for a cartridge ("CMYK", "Gold", ...) with its own text.
  // Returns true to go on, false to give up the job. May block.
  virtual bool AskForCartridge(const std::string& cartridge, const std::string& text) = 0;
  // A page (impression) has been sent completely.
  virtual void PageDone() {}
};

struct JobSettings {
  int copies = 1;            // laid out by the module
  bool single_page = false;  // the whole job as one page, no page advance
};

enum class JobEnd { kCompleted, kStopped, kFailed };

struct JobResult {
  JobEnd end = JobEnd::kFailed;
  std::string reason;        // why it failed or stopped; empty when completed
  std::uint64_t bytes = 0;   // stream bytes written to the sink
  int pages = 0;             // pages (impressions) sent
};

// Runs the spool job at spoolPath (its raster files, if any, lie beside it).
JobResult RunSpoolJob(const std::string& spoolPath, const JobSettings& settings, JobHooks& hooks);

// The cartridge named in a module prompt ("Please install Gold cartridge to
// the printer" -> "Gold"); the whole text when it has another form.
std::string CartridgeOfPrompt(const std::string& text);

}  // namespace pc50::app
