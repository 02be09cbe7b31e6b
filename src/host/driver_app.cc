#include "host/driver_app.h"

namespace pc50 {
namespace {

CDriverApp theApp;

}  // namespace

CDriverApp::CDriverApp()
    : driverSlot_(platform::TLS_OUT_OF_INDEXES), jobSlot_(platform::TLS_OUT_OF_INDEXES) {
  InitInstance();
}

CDriverApp::~CDriverApp() { ExitInstance(); }

bool CDriverApp::InitInstance() {
  if (Ready()) return true;
  driverSlot_ = platform::TlsAlloc();
  if (driverSlot_ == platform::TLS_OUT_OF_INDEXES) return false;
  jobSlot_ = platform::TlsAlloc();
  if (jobSlot_ == platform::TLS_OUT_OF_INDEXES) {
    platform::TlsFree(driverSlot_);
    driverSlot_ = platform::TLS_OUT_OF_INDEXES;
    return false;
  }
  return true;
}

void CDriverApp::ExitInstance() {
  if (driverSlot_ != platform::TLS_OUT_OF_INDEXES) platform::TlsFree(driverSlot_);
  if (jobSlot_ != platform::TLS_OUT_OF_INDEXES) platform::TlsFree(jobSlot_);
  driverSlot_ = jobSlot_ = platform::TLS_OUT_OF_INDEXES;
}

bool CDriverApp::Ready() const {
  return driverSlot_ != platform::TLS_OUT_OF_INDEXES && jobSlot_ != platform::TLS_OUT_OF_INDEXES;
}

ABasePrinterDriver* CDriverApp::GetDriver() const {
  return Ready() ? static_cast<ABasePrinterDriver*>(platform::TlsGetValue(driverSlot_)) : nullptr;
}

void CDriverApp::SetDriver(ABasePrinterDriver* driver) {
  if (Ready()) platform::TlsSetValue(driverSlot_, driver);
}

JobContext* CDriverApp::GetJob() const {
  return Ready() ? static_cast<JobContext*>(platform::TlsGetValue(jobSlot_)) : nullptr;
}

void CDriverApp::SetJob(JobContext* job) {
  if (Ready()) platform::TlsSetValue(jobSlot_, job);
}

CDriverApp& TheDriverApp() { return theApp; }

}  // namespace pc50
