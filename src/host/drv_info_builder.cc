#include "host/drv_info_builder.h"

#include "host/host_record.h"

namespace pc50 {

DrvInfo MakeDrvInfo(const DriverSetupInfo* setup) {
  const HostRecord record(const_cast<DriverSetupInfo*>(setup));
  DrvInfo info{};
  const char* text = record.Text(driver_setup_info::kText);
  for (std::size_t i = 0; i < sizeof info.text && text[i] != '\0'; ++i) info.text[i] = text[i];
  info.value1 = record.I16(driver_setup_info::kValue1);
  info.value2 = record.I16(driver_setup_info::kValue2);
  return info;
}

}  // namespace pc50
