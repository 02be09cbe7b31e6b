// The tool builds spool jobs with the raster step's job builder.
#pragma once

#include "errors.h"
#include "job_builder.h"

namespace pc50::cli {

using SpoolSettings = raster::JobSettings;

}  // namespace pc50::cli
