#include "pc50_printer.h"

#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "document_job.h"
#include "job_runner.h"
#include "vendor_options.h"

namespace pc50::app {

const char kDriverName[] = "pc50";
const char kDriverDescription[] = "PC-50 Thermal Printer";
const char kSpoolFormat[] = "application/vnd.pc50-spool";

namespace {

const char kDeviceId[] = "MFG:PC;MDL:PC-50;CMD:PCL,HPGL;";

// Label, card and photo sizes, then the custom range. The first is the
// default: the size a spool job gets when it names none.
const char* const kMedia[] = {
    "na_index-4x6_4x6in",  "na_index-3x5_3x5in", "na_5x7_5x7in",      "iso_a6_105x148mm",
    "oe_photo-l_3.5x5in",  "om_card_54x86mm",    "oe_4x4-label_4x4in", "oe_4x2-label_4x2in",
    "custom_min_1x1in",    "custom_max_5x14in",
};
constexpr int kMarginHundredthsMm = 100;

struct PrinterExtension {
  CartridgeDesk desk;
};

void DeleteCallback(pappl_printer_t*, pappl_pr_driver_data_t* data) {
  delete static_cast<PrinterExtension*>(data->extension);
  data->extension = nullptr;
}

// The value of a vendor option for this job: the job's own, else the
// printer default, else the built-in default.
std::string VendorValue(const VendorOption& option, pappl_pr_options_t* options, ipp_t* driver_attrs) {
  if (const char* value = cupsGetOption(option.name, options->num_vendor, options->vendor)) return value;
  const std::string default_name = std::string(option.name) + "-default";
  if (ipp_attribute_t* attr = ippFindAttribute(driver_attrs, default_name.c_str(), IPP_TAG_ZERO)) {
    char text[256];
    ippAttributeString(attr, text, sizeof text);
    return text;
  }
  return option.default_value;
}

// Reads and checks the job's vendor options. Returns "" or the first fault.
std::string ReadJobVendorSettings(pappl_job_t* job, pappl_pr_options_t* options, VendorSettings* settings) {
  ipp_t* driver_attrs = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));
  std::string fault;
  *settings = ReadVendorSettings([&](const VendorOption& option) {
    const std::string value = VendorValue(option, options, driver_attrs);
    if (fault.empty()) {
      fault = CheckVendorValue(option.name, value);
      // A bad printer default is the operator's to mend: say which.
      if (!fault.empty() && cupsGetOption(option.name, options->num_vendor, options->vendor) == nullptr) {
        fault = "the printer default " + fault;
      }
    }
    return value;
  });
  ippDelete(driver_attrs);
  return fault;
}

// On SIGTERM or SIGINT the server waits for active jobs before it reports
// the shutdown, so a job waiting for the operator would hold it up for its
// whole grace period. The job threads watch the signals themselves: the
// server's own handlers (in place once it runs) are chained behind a flag.
std::atomic<bool> stop_signalled{false};
struct sigaction server_handlers[2];
constexpr int kStopSignals[2] = {SIGTERM, SIGINT};

void NoteStopSignal(int signal_number, siginfo_t* info, void* context) {
  stop_signalled.store(true);
  for (int i = 0; i < 2; ++i) {
    if (kStopSignals[i] != signal_number) continue;
    const struct sigaction& next = server_handlers[i];
    if (next.sa_flags & SA_SIGINFO) {
      if (next.sa_sigaction != nullptr) next.sa_sigaction(signal_number, info, context);
    } else if (next.sa_handler != SIG_DFL && next.sa_handler != SIG_IGN && next.sa_handler != nullptr) {
      next.sa_handler(signal_number);
    } else if (next.sa_handler == SIG_DFL) {
      ::signal(signal_number, SIG_DFL);
      ::raise(signal_number);
    }
  }
}

void WatchStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int i = 0; i < 2; ++i) {
      struct sigaction watch {};
      watch.sa_sigaction = NoteStopSignal;
      watch.sa_flags = SA_SIGINFO | SA_RESTART;
      sigemptyset(&watch.sa_mask);
      sigaction(kStopSignals[i], &watch, &server_handlers[i]);
    }
  });
}

// Connects a running job to the server: stream bytes to the device,
// Cancel-Job and shutdown as the stop signal, cartridge prompts as an
// operator wait, pages as impressions.
class ServerJobHooks : public JobHooks {
 public:
  // count_pages: report pages as impressions (the server counts those of
  // raster jobs itself).
  ServerJobHooks(pappl_job_t* job, pappl_device_t* device, bool count_pages)
      : job_(job), device_(device), printer_(papplJobGetPrinter(job)),
        system_(papplPrinterGetSystem(printer_)), count_pages_(count_pages) {
    papplDeviceFlush(device_);
    pappl_devmetrics_t metrics;
    papplDeviceGetMetrics(device_, &metrics);
    expected_ = metrics.write_bytes;
  }

  // The device buffers writes and reports a failed flush only in the log;
  // its count of bytes written says whether everything went out.
  bool Write(const void* data, std::size_t size) override {
    if (papplDeviceWrite(device_, data, size) != static_cast<ssize_t>(size)) return false;
    papplDeviceFlush(device_);
    expected_ += size;
    pappl_devmetrics_t metrics;
    papplDeviceGetMetrics(device_, &metrics);
    return metrics.write_bytes == expected_;
  }

  bool ShouldStop() override {
    return papplJobIsCanceled(job_) || stop_signalled.load() || papplSystemIsShutdown(system_);
  }

  bool AskForCartridge(const std::string& cartridge, const std::string& text) override {
    CartridgeDesk* desk = DeskOf(printer_);
    if (desk == nullptr) return true;
    bool waited = false;
    papplDeviceFlush(device_);
    const CartridgeDesk::Outcome outcome = desk->Await(
        papplJobGetID(job_), cartridge, text, [this] { return ShouldStop(); },
        [&] {
          waited = true;
          papplJobSetMessage(job_, "%s", text.c_str());
          papplPrinterSetReasons(printer_, PAPPL_PREASON_MEDIA_NEEDED, PAPPL_PREASON_NONE);
          papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "Waiting for the operator: %s", text.c_str());
          papplSystemAddEvent(system_, printer_, job_,
                              PAPPL_EVENT_JOB_STATE_CHANGED | PAPPL_EVENT_PRINTER_STATE_CHANGED, "%s",
                              text.c_str());
        });
    if (waited) {
      papplPrinterSetReasons(printer_, PAPPL_PREASON_NONE, PAPPL_PREASON_MEDIA_NEEDED);
      ShowInstalledCartridge(printer_);
      const bool installed = outcome == CartridgeDesk::Outcome::kInstalled;
      papplJobSetMessage(job_, installed ? "Printing." : "The %s cartridge was not installed.",
                         cartridge.c_str());
      papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "%s cartridge %s", cartridge.c_str(),
                  installed ? "installed" : "not installed");
      papplSystemAddEvent(system_, printer_, job_,
                          PAPPL_EVENT_JOB_STATE_CHANGED | PAPPL_EVENT_PRINTER_STATE_CHANGED, "%s",
                          installed ? "Cartridge installed." : "Cartridge not installed.");
    }
    return outcome == CartridgeDesk::Outcome::kInstalled;
  }

  void PageDone() override {
    if (count_pages_) papplJobSetImpressionsCompleted(job_, 1);
  }

 private:
  pappl_job_t* job_;
  pappl_device_t* device_;
  pappl_printer_t* printer_;
  pappl_system_t* system_;
  bool count_pages_;
  std::size_t expected_ = 0;
};

bool Fail(pappl_job_t* job, const std::string& reason) {
  papplJobSetMessage(job, "%s", reason.c_str());
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", reason.c_str());
  return false;
}

// Ends a job the way its result says. A raw job gets one impression from
// the server once this returns; the pages were counted as they went out.
bool Finished(pappl_job_t* job, const JobResult& result, bool raw) {
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Sent %lu bytes, %d page(s).", static_cast<unsigned long>(result.bytes),
              result.pages);
  switch (result.end) {
    case JobEnd::kCompleted:
      if (raw) {
        papplJobSetImpressions(job, result.pages);
        papplJobSetImpressionsCompleted(job, -1);
      }
      papplJobSetMessage(job, "Printed %d page%s.", result.pages, result.pages == 1 ? "" : "s");
      return true;
    case JobEnd::kStopped:
      if (papplJobIsCanceled(job)) {
        papplJobSetMessage(job, "Canceled.");
        return false;  // the server marks it canceled, without an impression
      }
      if (stop_signalled.load() || papplSystemIsShutdown(papplPrinterGetSystem(papplJobGetPrinter(job)))) {
        return Fail(job, "Stopped: the server is shutting down.");
      }
      return Fail(job, result.reason);
    case JobEnd::kFailed:
      break;
  }
  return Fail(job, result.reason);
}

// A spool job goes to the module as it is.
bool PrintFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  WatchStopSignals();
  VendorSettings vendor;
  const std::string fault = ReadJobVendorSettings(job, options, &vendor);
  if (!fault.empty()) return Fail(job, fault);

  JobSettings settings;
  settings.copies = options->copies;
  settings.single_page = vendor.single_page;
  ServerJobHooks hooks(job, device, true);
  papplJobSetMessage(job, "Printing.");
  const JobResult result = RunSpoolJob(papplJobGetFilename(job), settings, hooks);
  papplDeviceFlush(device);
  return Finished(job, result, true);
}

// Scratch directories of document jobs go where the module's own do.
std::string ScratchParent() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// What the job asks for, in the terms of the raster step.
DocumentSettings SettingsOf(const pappl_pr_options_t* options, const VendorSettings& vendor) {
  DocumentSettings settings;
  settings.dpi = options->printer_resolution[0] > 0 ? options->printer_resolution[0] : 360;
  settings.media_width = options->media.size_width / 2540.0;
  settings.media_length = options->media.size_length / 2540.0;
  settings.top_margin = options->media.top_margin / 2540.0;
  settings.left_margin = options->media.left_margin / 2540.0;
  settings.gray = options->print_color_mode == PAPPL_COLOR_MODE_MONOCHROME ||
                  options->print_color_mode == PAPPL_COLOR_MODE_BI_LEVEL;
  settings.copies = options->copies;
  settings.fit = options->print_scaling == PAPPL_SCALING_NONE ? Fit::kNone
                 : options->print_scaling == PAPPL_SCALING_FILL ? Fit::kFill
                                                                 : Fit::kFit;
  settings.vendor = vendor;
  return settings;
}

struct PrintOptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

// Raster pages (PWG raster, and what the server's own image path gives)
// collect into one spool job that runs when the last page is in.
struct RasterJob {
  RasterDocument document;
  ServerJobHooks hooks;
};

bool RasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  WatchStopSignals();
  VendorSettings vendor;
  const std::string fault = ReadJobVendorSettings(job, options, &vendor);
  if (!fault.empty()) return Fail(job, fault);
  papplJobSetData(job, new RasterJob{RasterDocument(SettingsOf(options, vendor), ScratchParent()),
                                     ServerJobHooks(job, device, false)});
  papplJobSetMessage(job, "Receiving pages.");
  return true;
}

bool RasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
  auto* raster = static_cast<RasterJob*>(papplJobGetData(job));
  if (raster == nullptr) return false;
  const auto& header = options->header;
  if (header.cupsBitsPerColor != 8) return Fail(job, "only 8-bit raster pages can be printed");
  const RasterDocument::Pixels pixels = header.cupsColorSpace == CUPS_CSPACE_CMYK ? RasterDocument::Pixels::kCmyk
                                        : header.cupsNumColors == 1              ? RasterDocument::Pixels::kGray
                                                                                 : RasterDocument::Pixels::kRgb;
  if (!raster->document.StartPage(header.cupsWidth, header.cupsHeight, static_cast<int>(header.HWResolution[0]),
                                  pixels)) {
    return Fail(job, raster->document.reason());
  }
  return true;
}

bool RasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line) {
  auto* raster = static_cast<RasterJob*>(papplJobGetData(job));
  return raster != nullptr && raster->document.Line(y, line);
}

bool RasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
  auto* raster = static_cast<RasterJob*>(papplJobGetData(job));
  if (raster == nullptr) return false;
  if (!raster->document.EndPage()) return Fail(job, raster->document.reason());
  return true;
}

// The server may call this twice when it failed the first time: the job is
// gone then, and so is the answer.
bool RasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  std::unique_ptr<RasterJob> raster(static_cast<RasterJob*>(papplJobGetData(job)));
  if (!raster) return false;
  papplJobSetData(job, nullptr);
  papplJobSetMessage(job, "Printing.");
  const JobResult result = raster->document.Finish(raster->hooks);
  papplDeviceFlush(device);
  return Finished(job, result, false);
}

bool StatusCallback(pappl_printer_t* printer) {
  ShowInstalledCartridge(printer);
  return true;
}

void MediaColFor(const char* name, pappl_media_col_t* col) {
  std::memset(col, 0, sizeof *col);
  if (pwg_media_t* media = pwgMediaForPWG(name)) {
    col->size_width = media->width;
    col->size_length = media->length;
  }
  std::snprintf(col->size_name, sizeof col->size_name, "%s", name);
  col->left_margin = col->right_margin = kMarginHundredthsMm;
  col->top_margin = col->bottom_margin = kMarginHundredthsMm;
  std::snprintf(col->source, sizeof col->source, "%s", "main");
  std::snprintf(col->type, sizeof col->type, "%s", "labels");
}

void AddVendorAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs) {
  data->num_vendor = 0;
  for (const VendorOption& option : VendorOptions()) {
    data->vendor[data->num_vendor++] = option.name;
    const std::string supported = std::string(option.name) + "-supported";
    const std::string default_name = std::string(option.name) + "-default";
    switch (option.kind) {
      case VendorOption::Kind::kKeyword: {
        std::vector<const char*> values;
        for (const std::string& keyword : option.keywords) values.push_back(keyword.c_str());
        ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                      static_cast<int>(values.size()), nullptr, values.data());
        ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, default_name.c_str(), nullptr,
                     option.default_value.c_str());
        break;
      }
      case VendorOption::Kind::kRange:
        ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), option.low, option.high);
        ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, default_name.c_str(),
                      std::stoi(option.default_value));
        break;
      case VendorOption::Kind::kBoolean:
        ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
        ippAddBoolean(attrs, IPP_TAG_PRINTER, default_name.c_str(), option.default_value == "true");
        break;
    }
  }
}

}  // namespace

bool DocumentFilter(pappl_job_t* job, pappl_device_t* device, void*) {
  WatchStopSignals();
  std::unique_ptr<pappl_pr_options_t, PrintOptionsDeleter> options(papplJobCreatePrintOptions(job, 1, true));
  VendorSettings vendor;
  const std::string fault = ReadJobVendorSettings(job, options.get(), &vendor);
  if (!fault.empty()) return Fail(job, fault);
  const DocumentSettings settings = SettingsOf(options.get(), vendor);
  options.reset();
  ServerJobHooks hooks(job, device, true);
  papplJobSetMessage(job, "Preparing the pages.");
  const JobResult result = PrintDocument(papplJobGetFilename(job), settings, ScratchParent(), hooks);
  papplDeviceFlush(device);
  return Finished(job, result, false);
}

pappl_pr_driver_t* Drivers(int* count) {
  static pappl_pr_driver_t drivers[] = {
      {kDriverName, kDriverDescription, kDeviceId, nullptr},
  };
  *count = 1;
  return drivers;
}

bool DriverCallback(pappl_system_t*, const char* driver_name, const char*, const char*,
                    pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  if (driver_name == nullptr || std::strcmp(driver_name, kDriverName) != 0) return false;

  data->extension = new PrinterExtension;
  data->delete_cb = DeleteCallback;
  data->printfile_cb = PrintFile;
  data->rstartjob_cb = RasterStartJob;
  data->rstartpage_cb = RasterStartPage;
  data->rwriteline_cb = RasterWriteLine;
  data->rendpage_cb = RasterEndPage;
  data->rendjob_cb = RasterEndJob;
  data->status_cb = StatusCallback;
  data->format = kSpoolFormat;
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", kDriverDescription);
  data->ppm = 1;
  data->ppm_color = 1;
  data->kind = PAPPL_KIND_LABEL | PAPPL_KIND_PHOTO;
  data->has_supplies = true;

  data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
  data->color_default = PAPPL_COLOR_MODE_COLOR;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_CMYK_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;

  // 360 dpi by default: a job without printer-resolution gets its
  // resolution from print-quality, and "normal" picks 360 from {180, 360};
  // the advertised default says the same.
  data->num_resolution = 2;
  data->x_resolution[0] = data->y_resolution[0] = 180;
  data->x_resolution[1] = data->y_resolution[1] = 360;
  data->x_default = data->y_default = 360;

  data->borderless = true;
  data->left_right = kMarginHundredthsMm;
  data->bottom_top = kMarginHundredthsMm;
  data->num_media = static_cast<int>(sizeof kMedia / sizeof kMedia[0]);
  for (int i = 0; i < data->num_media; ++i) data->media[i] = kMedia[i];
  data->num_source = 1;
  data->source[0] = "main";
  data->num_type = 1;
  data->type[0] = "labels";
  MediaColFor(kMedia[0], &data->media_default);
  data->media_ready[0] = data->media_default;

  *attrs = ippNew();
  AddVendorAttributes(data, *attrs);
  return true;
}

const char* AutoAddCallback(const char*, const char*, const char* device_id, void*) {
  if (device_id != nullptr && std::strstr(device_id, "MDL:PC-50;") != nullptr) return kDriverName;
  return nullptr;
}

CartridgeDesk* DeskOf(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  if (printer == nullptr || papplPrinterGetDriverData(printer, &data) == nullptr) return nullptr;
  if (std::strcmp(papplPrinterGetDriverName(printer), kDriverName) != 0) return nullptr;
  auto* extension = static_cast<PrinterExtension*>(data.extension);
  return extension != nullptr ? &extension->desk : nullptr;
}

void ShowInstalledCartridge(pappl_printer_t* printer) {
  CartridgeDesk* desk = DeskOf(printer);
  if (desk == nullptr) return;
  const std::string installed = desk->Installed();
  pappl_supply_t supply{};
  supply.color = installed == "CMYK" ? PAPPL_SUPPLY_COLOR_MULTIPLE : PAPPL_SUPPLY_COLOR_NO_COLOR;
  if (installed == "Cyan") supply.color = PAPPL_SUPPLY_COLOR_CYAN;
  if (installed == "Magenta") supply.color = PAPPL_SUPPLY_COLOR_MAGENTA;
  if (installed == "Yellow") supply.color = PAPPL_SUPPLY_COLOR_YELLOW;
  if (installed == "Black") supply.color = PAPPL_SUPPLY_COLOR_BLACK;
  if (installed == "Orange") supply.color = PAPPL_SUPPLY_COLOR_ORANGE;
  if (installed == "Green") supply.color = PAPPL_SUPPLY_COLOR_GREEN;
  std::snprintf(supply.description, sizeof supply.description, "%s",
                installed.empty() ? "Ribbon cartridge (not confirmed yet)"
                                  : (installed + " ribbon cartridge").c_str());
  supply.is_consumed = true;
  supply.level = -1;  // the printer does not report ribbon levels
  supply.type = PAPPL_SUPPLY_TYPE_INK_RIBBON;
  papplPrinterSetSupplies(printer, 1, &supply);
}

}  // namespace pc50::app
