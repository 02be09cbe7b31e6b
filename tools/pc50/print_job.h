// Runs a print job through the module exactly as a host does: started
// once, resumed until the job record's prompt mode reads -1, then always
// aborted. The host drains the output as it is written (the bytes it has
// taken are handed back with every step), so the module's backlog rule
// never holds the job up.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pc50::cli {

enum class Api {
  kC,       // INITIALIZEPRINT / RESUMEPRINT / ABORTPRINT with a PrintJobInfo
  kObject,  // createNewPrinterDriver and a JobContext
};

struct PrintRequest {
  std::string spool_path;
  // Exactly one destination: the output file, or (object interface only)
  // a port that writes to port_path, "-" for standard output.
  std::string output_path;
  std::string port_path;
  Api api = Api::kC;
  int copies = 1;
  bool single_page = false;
  bool prompts_off = false;  // prompt mode 4: no cartridge prompts
  bool keep_stream = false;  // return the stream's bytes in PrintResult
  // Called with the job's status text after every step.
  std::function<void(const std::string&)> on_status;
};

struct PrintResult {
  std::uint64_t bytes = 0;   // stream bytes delivered
  long steps = 0;            // resume calls
  double longest_step_ms = 0;  // wall time of the longest resume call
  std::string destination;   // the file written, or "standard output"
  std::string stream;        // with keep_stream
};

// Runs the job. The output file (or port file) is written under a temporary
// name beside it and appears under its own name only when the job ended
// well; on failure it is removed. Throws Failure with the module's reason,
// UsageError for a port with the C interface.
PrintResult RunPrintJob(const PrintRequest& request);

}  // namespace pc50::cli
