// The PC-50 command stream. Not written yet: every operation refuses with a
// reason, so a job fails cleanly instead of producing a wrong stream.
#include "device/pc50_device.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

int Unavailable() { return Fail("PC-50 command stream not available"); }

}  // namespace

int APC50Device::StartJob(int, int, int) { return Unavailable(); }
int APC50Device::EndJob() { return Unavailable(); }
int APC50Device::StartPlane(int) { return Unavailable(); }
int APC50Device::EndPlane(int) { return Unavailable(); }
int APC50Device::SendRow(int, int, const std::uint8_t*) { return Unavailable(); }
int APC50Device::AbortOutput() { return 0; }
int APC50Device::SendBlankRows(int, int) { return Unavailable(); }
int APC50Device::SendPlaneHeader(int, int) { return Unavailable(); }
int APC50Device::Write(const std::uint8_t*, int) { return Unavailable(); }
int APC50Device::CopyTempFile() { return Unavailable(); }
int APC50Device::WriteAt(int, int, const std::uint8_t*, int) { return Unavailable(); }

}  // namespace pc50
