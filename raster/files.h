// The files entry: document files and job settings in, a spool job out.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "job_builder.h"

namespace pc50::raster {

// A spot-colour mask file: dark pixels print in colour.
struct SpotFile {
  std::string colour;  // a spot ribbon name, any case
  std::string path;
};

struct FileJob {
  // PNG, JPEG or PDF, told apart by their content. An image is one page; a
  // PDF gives one page per PDF page.
  std::vector<std::string> documents;
  // The n-th mask of a colour goes with the n-th image (PNG or JPEG)
  // document and is placed as that image is; it must be as large as it.
  std::vector<SpotFile> spot_masks;
  // Border-cell images by kind (hostkit::CellKind), on every page, one
  // image pixel per device pixel.
  std::map<int, std::string> cells;
};

struct JobSummary {
  std::vector<std::string> written;  // raster files, then the spool file
  std::vector<std::string> colours;  // the job's colour list
  std::size_t pages = 0;
  int first_width = 0;               // device pixels of page 1
  int first_height = 0;
  // Warnings: separations converted into CMYK, named.
  std::vector<std::string> warnings;
};

// Separates, screens and writes the documents as one spool job at
// spool_path, page by page (see JobWriter). Throws Error with a one-line
// message naming the file; Cancelled when settings.ghostscript.cancelled
// says so. Nothing of the job is left behind when it fails.
JobSummary SpoolFiles(const FileJob& files, const JobSettings& settings, const std::string& spool_path);

}  // namespace pc50::raster
