#include "cartridge_page.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "pc50_printer.h"

namespace pc50::app {

const char kCartridgePath[] = "/cartridge";

namespace {

struct PageContext {
  pappl_client_t* client;
  int shown = 0;
};

void ShowPrinter(pappl_printer_t* printer, void* data) {
  auto* page = static_cast<PageContext*>(data);
  CartridgeDesk* desk = DeskOf(printer);
  if (desk == nullptr) return;
  pappl_client_t* client = page->client;
  const int id = papplPrinterGetID(printer);
  ++page->shown;
  papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\"><h2 class=\"title\">");
  papplClientHTMLEscape(client, papplPrinterGetName(printer), 0);
  papplClientHTMLPuts(client, "</h2>\n<p>Installed cartridge: <span id=\"installed-");
  papplClientHTMLPrintf(client, "%d\">", id);
  const std::string installed = desk->Installed();
  papplClientHTMLEscape(client, installed.empty() ? "not confirmed yet" : installed.c_str(), 0);
  papplClientHTMLPuts(client, "</span></p>\n");

  const auto waiting = desk->Waiting();
  if (!waiting) {
    papplClientHTMLPrintf(client, "<p id=\"idle-%d\">No job is waiting for a cartridge.</p>\n", id);
  } else {
    papplClientHTMLPrintf(client, "<p>Job %d is waiting:</p>\n<p><strong id=\"prompt-%d\">", waiting->job_id, id);
    papplClientHTMLEscape(client, waiting->text.c_str(), 0);
    papplClientHTMLPuts(client, "</strong></p>\n");
    papplClientHTMLStartForm(client, kCartridgePath, false);
    papplClientHTMLPrintf(client,
                          "<input type=\"hidden\" name=\"printer-id\" value=\"%d\">"
                          "<input type=\"hidden\" name=\"job-id\" value=\"%d\">"
                          "<input type=\"submit\" id=\"continue-%d\" name=\"action\" value=\"Continue\"> "
                          "<input type=\"submit\" id=\"cancel-%d\" name=\"action\" value=\"Cancel\">"
                          "</form>\n",
                          id, waiting->job_id, id, id);
  }
  papplClientHTMLPuts(client, "</div></div>\n");
}

// Applies a Continue or Cancel form. Returns "" or what was wrong.
std::string ApplyForm(pappl_client_t* client) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  std::string fault;
  if (!papplClientIsValidForm(client, count, form)) {
    fault = "Invalid form submission.";
  } else {
    const char* printer_id = cupsGetOption("printer-id", count, form);
    const char* job_id = cupsGetOption("job-id", count, form);
    const char* action = cupsGetOption("action", count, form);
    pappl_system_t* system = papplClientGetSystem(client);
    pappl_printer_t* printer =
        printer_id ? papplSystemFindPrinter(system, nullptr, std::atoi(printer_id), nullptr) : nullptr;
    CartridgeDesk* desk = DeskOf(printer);
    const int job = job_id ? std::atoi(job_id) : 0;
    if (desk == nullptr || job <= 0 || action == nullptr) {
      fault = "Missing printer, job or action.";
    } else if (std::strcmp(action, "Continue") == 0) {
      if (!desk->Answer(job, true)) fault = "That job is no longer waiting.";
    } else if (std::strcmp(action, "Cancel") == 0) {
      if (pappl_job_t* waiting = papplPrinterFindJob(printer, job)) papplJobCancel(waiting);
      if (!desk->Answer(job, false)) fault = "That job is no longer waiting.";
    } else {
      fault = "Unknown action.";
    }
  }
  cupsFreeOptions(count, form);
  return fault;
}

bool CartridgeResource(pappl_client_t* client, void*) {
  if (!papplClientHTMLAuthorize(client)) return true;
  std::string fault;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    fault = ApplyForm(client);
    if (fault.empty()) return papplClientRespondRedirect(client, HTTP_STATUS_SEE_OTHER, kCartridgePath);
  }
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Cartridge", 0);
  papplClientHTMLPuts(client, "<div class=\"content\">\n");
  if (!fault.empty()) {
    papplClientHTMLPuts(client, "<div class=\"banner\" id=\"fault\">");
    papplClientHTMLEscape(client, fault.c_str(), 0);
    papplClientHTMLPuts(client, "</div>\n");
  }
  PageContext page{client};
  papplSystemIteratePrinters(papplClientGetSystem(client), ShowPrinter, &page);
  if (page.shown == 0) papplClientHTMLPuts(client, "<p>No PC-50 printer has been added.</p>\n");
  papplClientHTMLPuts(client, "</div>\n");
  papplClientHTMLFooter(client);
  return true;
}

}  // namespace

void AddCartridgePage(pappl_system_t* system) {
  papplSystemAddResourceCallback(system, kCartridgePath, "text/html", CartridgeResource, nullptr);
  papplSystemAddLink(system, "Cartridge", kCartridgePath, PAPPL_LOPTIONS_NAVIGATION);
}

void AddCartridgeLink(pappl_printer_t* printer, void*) {
  if (DeskOf(printer) != nullptr) papplPrinterAddLink(printer, "Cartridge", kCartridgePath, PAPPL_LOPTIONS_STATUS);
}

bool OperationCallback(pappl_client_t* client, void*) {
  if (papplClientGetOperation(client) != IPP_OP_RESUME_JOB) return false;
  pappl_job_t* job = papplClientGetJob(client);
  pappl_printer_t* printer = papplClientGetPrinter(client);
  CartridgeDesk* desk = DeskOf(printer);
  if (job == nullptr || desk == nullptr) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_FOUND, "No such job.");
    return true;
  }
  if (papplClientIsAuthorized(client) != HTTP_STATUS_CONTINUE) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_AUTHORIZED, "Not allowed to answer for this printer.");
    return true;
  }
  if (!desk->Answer(papplJobGetID(job), true)) {
    papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "Job #%d is not waiting for a cartridge.",
                          papplJobGetID(job));
    return true;
  }
  papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
  return true;
}

}  // namespace pc50::app
