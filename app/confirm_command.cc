#include "confirm_command.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace pc50::app {
namespace {

// The local server's domain socket, where papplMainloop makes it.
std::string LocalSocket(const char* base_name) {
  if (const char* snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + base_name + ".sock";
  if (getuid() == 0) return std::string("/run/") + base_name + ".sock";
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/" + base_name + std::to_string(getuid()) + ".sock";
}

int Complain(const char* base_name, const std::string& message) {
  std::fprintf(stderr, "%s confirm: %s\n", base_name, message.c_str());
  return 1;
}

// The first processing job of the printer, or 0.
int ProcessingJob(http_t* http, const std::string& printer_uri, const std::string& resource) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer_uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  static const char* const kWanted[] = {"job-id", "job-state"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, kWanted);
  ipp_t* response = cupsDoRequest(http, request, resource.c_str());
  int found = 0;
  int job_id = 0;
  for (ipp_attribute_t* attr = ippFirstAttribute(response); attr && !found; attr = ippNextAttribute(response)) {
    const char* name = ippGetName(attr);
    if (name == nullptr) {
      job_id = 0;
    } else if (std::string(name) == "job-id") {
      job_id = ippGetInteger(attr, 0);
    } else if (std::string(name) == "job-state" && ippGetInteger(attr, 0) == IPP_JSTATE_PROCESSING) {
      found = job_id;
    }
  }
  ippDelete(response);
  return found;
}

}  // namespace

int ConfirmCommand(const char* base_name, int num_options, cups_option_t* options, int num_files, char**,
                   void*) {
  if (num_files > 0) return Complain(base_name, "takes no files");
  std::string printer_uri;
  std::string resource;
  http_t* http = nullptr;
  if (const char* uri = cupsGetOption("printer-uri", num_options, options)) {
    char scheme[32], userpass[256], host[256], path[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                        sizeof host, &port, path, sizeof path) < HTTP_URI_STATUS_OK) {
      return Complain(base_name, std::string("bad printer URI \"") + uri + "\"");
    }
    http = httpConnect2(host, port, nullptr, AF_UNSPEC,
                        std::string(scheme) == "ipps" ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1,
                        30000, nullptr);
    printer_uri = uri;
    resource = path;
  } else {
    const std::string socket = LocalSocket(base_name);
    http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
    resource = "/ipp/print";
    if (const char* name = cupsGetOption("printer-name", num_options, options)) {
      resource += std::string("/") + name;
    }
    printer_uri = "ipp://localhost" + resource;
  }
  if (http == nullptr) {
    return Complain(base_name, "cannot reach the server: " + std::string(cupsLastErrorString()));
  }

  int job_id = 0;
  if (const char* value = cupsGetOption("job-id", num_options, options)) {
    char* end = nullptr;
    job_id = static_cast<int>(std::strtol(value, &end, 10));
    if (*end != '\0' || job_id < 1) {
      httpClose(http);
      return Complain(base_name, std::string("bad job ID \"") + value + "\"");
    }
  } else if ((job_id = ProcessingJob(http, printer_uri, resource)) == 0) {
    httpClose(http);
    return Complain(base_name, "no job is printing on " + printer_uri);
  }

  ipp_t* request = ippNewRequest(IPP_OP_RESUME_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer_uri.c_str());
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job_id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippDelete(cupsDoRequest(http, request, resource.c_str()));
  httpClose(http);
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    return Complain(base_name, "job " + std::to_string(job_id) + ": " + cupsLastErrorString());
  }
  std::printf("Job %d: cartridge confirmed.\n", job_id);
  return 0;
}

}  // namespace pc50::app
