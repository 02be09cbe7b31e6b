#include "files.h"

#include "error.h"

namespace pc50::raster {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

}  // namespace

JobSummary SpoolFiles(const FileJob& files, const JobSettings& settings, const std::string& spool_path) {
  if (files.documents.empty()) throw Error("no document given");
  std::map<int, NamedImage> cells;
  for (const auto& [kind, path] : files.cells) cells[kind] = {path, ReadImage(path)};

  // Masks by the image document they belong to.
  std::map<std::string, std::size_t> masks_of_colour;
  std::vector<std::vector<const SpotFile*>> masks;
  for (const SpotFile& mask : files.spot_masks) {
    const std::string ribbon = SpotColourName(mask.colour);
    const std::size_t image = masks_of_colour[ribbon.empty() ? mask.colour : ribbon]++;
    if (masks.size() <= image) masks.resize(image + 1);
    masks[image].push_back(&mask);
  }

  std::size_t image_documents = 0;
  for (const std::string& path : files.documents) {
    if (DetectDocumentType(path) != DocumentType::kPdf) ++image_documents;
  }
  if (masks.size() > image_documents) {
    throw Error(masks[image_documents].front()->path + ": more " + masks[image_documents].front()->colour +
                " masks than images (PNG or JPEG documents)");
  }

  JobSummary summary;
  JobWriter writer(spool_path, settings, std::move(cells));
  const int area_width = settings.PrintableWidth();
  const int area_length = settings.PrintableLength();
  std::size_t images = 0;
  auto note_first = [&summary](int width, int height) {
    if (summary.pages == 0) {
      summary.first_width = width;
      summary.first_height = height;
    }
    ++summary.pages;
  };
  for (const std::string& path : files.documents) {
    const DocumentType type = DetectDocumentType(path);
    if (type == DocumentType::kPdf) {
      std::optional<std::pair<double, double>> fit_to;
      if (!settings.media_from_document) {
        fit_to = std::make_pair(static_cast<double>(area_width) / settings.dpi,
                                static_cast<double>(area_length) / settings.dpi);
        if (area_width <= 0 || area_length <= 0) {
          throw Error(path + ": the margins leave no printable area on the media");
        }
      }
      PdfPages pdf(path, settings.dpi, fit_to, settings.ghostscript);
      if (!pdf.folded().empty()) {
        summary.warnings.push_back(path + ": separation" + (pdf.folded().size() == 1 ? " " : "s ") +
                                   Join(pdf.folded()) +
                                   " printed in CMYK through the alternate colour (not a ribbon of the printer)");
      }
      if (settings.media_from_document && summary.pages == 0) {
        const auto [width, length] = pdf.first_page_size();
        writer.SetMedia(width + settings.left_margin, length + settings.top_margin);
      }
      PlanePage page;
      while (pdf.Next(&page)) {
        note_first(static_cast<int>(page.width), static_cast<int>(page.height));
        writer.AddPage(page);
      }
      continue;
    }
    NamedImage image{path, type == DocumentType::kPng ? ReadPng(path) : ReadJpeg(path)};
    const Scaling scaling = settings.scaling.value_or(type == DocumentType::kPng ? Scaling::kNone : Scaling::kFit);
    std::vector<SpotMask> spots;
    if (images < masks.size()) {
      for (const SpotFile* mask : masks[images]) {
        NamedImage read{mask->path, ReadImage(mask->path)};
        if (scaling != Scaling::kNone) {
          if (read.image.width != image.image.width || read.image.height != image.image.height) {
            throw Error(mask->colour + " mask " + mask->path + " is " + std::to_string(read.image.width) + "x" +
                        std::to_string(read.image.height) + " pixels; it must match the page image " + path +
                        " (" + std::to_string(image.image.width) + "x" + std::to_string(image.image.height) + ")");
          }
          read.image = Place(read.image, scaling, area_width, area_length);
        }
        spots.push_back({mask->colour, std::move(read)});
      }
    }
    ++images;
    if (scaling != Scaling::kNone) image.image = Place(image.image, scaling, area_width, area_length);
    note_first(image.image.width, image.image.height);
    writer.AddPage(image, spots);
  }
  summary.written = writer.Finish();
  summary.colours = writer.colours();
  return summary;
}

}  // namespace pc50::raster
