// The module object: owns the two thread-local slots in which the procedural
// interface keeps each host thread's driver object and job record.
#pragma once

#include "pc50/pc50.h"
#include "platform/platform.h"

namespace pc50 {

class CDriverApp {
 public:
  CDriverApp();
  ~CDriverApp();
  CDriverApp(const CDriverApp&) = delete;
  CDriverApp& operator=(const CDriverApp&) = delete;

  // Allocates the driver slot, then the job slot. False when either fails;
  // the module must then not finish loading.
  bool InitInstance();
  void ExitInstance();
  bool Ready() const;

  // Slots of the calling thread; a slot never set reads as null.
  ABasePrinterDriver* GetDriver() const;
  void SetDriver(ABasePrinterDriver* driver);
  JobContext* GetJob() const;
  void SetJob(JobContext* job);

 private:
  platform::DWORD driverSlot_;
  platform::DWORD jobSlot_;
};

// The one module object of the process.
CDriverApp& TheDriverApp();

}  // namespace pc50
