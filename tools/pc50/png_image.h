// Image input of the tool: the raster step's reader (PNG and JPEG).
#pragma once

#include "errors.h"
#include "image_file.h"
