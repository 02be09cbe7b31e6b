// The host's raster step as a library: page content in, a spool job for the
// module out. Depends on hostkit and include/pc50 only.
//
// Files (PNG, JPEG, PDF; the type is read from the content):
//
//   pc50::raster::JobSettings settings;          // 180 dpi, 4x6 in, device screen
//   settings.ribbon = pc50::hostkit::kFourColourRibbon;
//   settings.media_from_document = true;         // PDF: media from page 1
//   pc50::raster::FileJob files;
//   files.documents = {"art.pdf"};
//   pc50::raster::JobSummary done = pc50::raster::SpoolFiles(files, settings, "job.spl");
//
// Pages that arrive one at a time (8-bit RGBA, or 8-bit CMYK planes with
// named spot planes):
//
//   pc50::raster::JobWriter writer("job.spl", settings);
//   pc50::raster::PlanePage page;                // width, height, cmyk[4], spots
//   ...                                           // fill it
//   writer.AddPage(page);                        // screened and written now
//   writer.Finish();                             // the spool file, last
//
// Every failure is a pc50::raster::Error whose what() is one line naming
// the file or page; a cancelled PDF job throws Cancelled (an Error). A job
// that fails leaves no file behind.
//
// PDF pages are rendered by Ghostscript as a separate program
// (ghostscript.h): set settings.ghostscript.program (or PC50_GHOSTSCRIPT),
// time_limit, output_limit and the cancelled callback there.
#pragma once

#include "error.h"
#include "files.h"
#include "ghostscript.h"
#include "halftone.h"
#include "image_file.h"
#include "job_builder.h"
#include "screen.h"
