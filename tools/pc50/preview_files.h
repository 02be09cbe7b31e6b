// Decoding a PC-50 stream and writing its previews as PNG files.
#pragma once

#include <string>
#include <vector>

#include "stream_decoder.h"

namespace pc50::cli {

// Decodes stream (read from name, for messages). Throws Failure with the
// offset and what the decoder expected there.
std::vector<hostkit::Page> DecodeStreamBytes(const std::string& stream, const std::string& name);

// Reads and decodes the stream file at path. Throws Failure.
std::vector<hostkit::Page> DecodeStreamFile(const std::string& path);

struct PreviewFiles {
  std::vector<std::string> pages;   // composites
  std::vector<std::string> passes;  // one per pass, with passes_dir
};

// Writes the composite preview: a stream of one page to png_path, several
// pages to "<stem>-<n>.png" beside it (pages without pixels are skipped).
// With passes_dir (created when missing), also one PNG per pass there:
// "page<n>-pass<m>-<colour>.png". Throws Failure (also when no page has
// pixels).
PreviewFiles WritePreviewFiles(const std::vector<hostkit::Page>& pages, const std::string& png_path,
                               const std::string& passes_dir = "");

// A pass's ribbon name: "CMYK" for the four-colour cartridge, the ribbon
// colour, or "code<n>" for a code that names none.
std::string PassColourName(const hostkit::Pass& pass);

}  // namespace pc50::cli
