#include "demo_page.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pc50::cli {
namespace {

constexpr int kPageWidth = 288;   // 1.6 inches at 180 dpi
constexpr int kPageHeight = 180;  // 1 inch
constexpr int kBandHeight = 16;
constexpr int kColumnWidth = 12;

struct Colour {
  std::uint8_t r, g, b;
};

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kBlack{0, 0, 0};

RgbaImage Blank(int width, int height) {
  RgbaImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 255);
  return image;
}

void Put(RgbaImage* image, int x, int y, Colour colour) {
  std::uint8_t* pixel = image->pixels.data() +
                        (static_cast<std::size_t>(y) * static_cast<std::size_t>(image->width) +
                         static_cast<std::size_t>(x)) * 4;
  pixel[0] = colour.r;
  pixel[1] = colour.g;
  pixel[2] = colour.b;
  pixel[3] = 255;
}

std::uint8_t Channel(double value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

// Fully saturated colour of hue 0..1.
Colour Hue(double hue) {
  const double h = (hue - std::floor(hue)) * 6.0;
  const double r = std::clamp(std::fabs(h - 3.0) - 1.0, 0.0, 1.0);
  const double g = std::clamp(2.0 - std::fabs(h - 2.0), 0.0, 1.0);
  const double b = std::clamp(2.0 - std::fabs(h - 4.0), 0.0, 1.0);
  return {Channel(r), Channel(g), Channel(b)};
}

// Colour bars on top, a hue sweep in the middle, a grey ramp below.
RgbaImage TestPage() {
  static constexpr std::array<Colour, 8> kBars{{
      {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0},
      {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
  }};
  RgbaImage image = Blank(kPageWidth, kPageHeight);
  const int bar_width = kPageWidth / static_cast<int>(kBars.size());
  for (int y = 0; y < kPageHeight; ++y) {
    for (int x = 0; x < kPageWidth; ++x) {
      const double across = static_cast<double>(x) / (kPageWidth - 1);
      if (y < 60) {
        Put(&image, x, y, kBars[static_cast<std::size_t>(std::min(x / bar_width, 7))]);
      } else if (y < 120) {
        // Hue across, fading to white towards the bottom of the sweep.
        const Colour hue = Hue(across);
        const double fade = (y - 60) / 80.0;
        Put(&image, x, y, {Channel(hue.r / 255.0 + (1 - hue.r / 255.0) * fade),
                           Channel(hue.g / 255.0 + (1 - hue.g / 255.0) * fade),
                           Channel(hue.b / 255.0 + (1 - hue.b / 255.0) * fade)});
      } else {
        const std::uint8_t grey = Channel(1.0 - across);
        Put(&image, x, y, {grey, grey, grey});
      }
    }
  }
  return image;
}

// True inside a five-pointed star around (cx, cy).
bool InStar(double x, double y, double cx, double cy, double outer, double inner) {
  constexpr double kPi = 3.14159265358979323846;
  std::array<double, 20> corners;
  for (int i = 0; i < 10; ++i) {
    const double radius = i % 2 == 0 ? outer : inner;
    const double angle = -kPi / 2 + i * kPi / 5;
    corners[static_cast<std::size_t>(2 * i)] = cx + radius * std::cos(angle);
    corners[static_cast<std::size_t>(2 * i + 1)] = cy + radius * std::sin(angle);
  }
  bool inside = false;
  for (int i = 0, j = 9; i < 10; j = i++) {
    const double xi = corners[static_cast<std::size_t>(2 * i)];
    const double yi = corners[static_cast<std::size_t>(2 * i + 1)];
    const double xj = corners[static_cast<std::size_t>(2 * j)];
    const double yj = corners[static_cast<std::size_t>(2 * j + 1)];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

RgbaImage GoldStar() {
  RgbaImage mask = Blank(kPageWidth, kPageHeight);
  for (int y = 0; y < kPageHeight; ++y) {
    for (int x = 0; x < kPageWidth; ++x) {
      if (InStar(x + 0.5, y + 0.5, kPageWidth / 2.0, kPageHeight / 2.0, 56.0, 22.0)) {
        Put(&mask, x, y, kBlack);
      }
    }
  }
  return mask;
}

// Magenta to cyan across, for the band above the copies.
RgbaImage FirstBand() {
  RgbaImage image = Blank(kPageWidth, kBandHeight);
  for (int y = 0; y < kBandHeight; ++y) {
    for (int x = 0; x < kPageWidth; ++x) {
      const double t = static_cast<double>(x) / (kPageWidth - 1);
      Put(&image, x, y, {Channel(1.0 - t), Channel(t), 255});
    }
  }
  return image;
}

// Black and yellow diagonal stripes, for the band below the copies.
RgbaImage Stripes(int width, int height) {
  RgbaImage image = Blank(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Put(&image, x, y, ((x + y) / 6) % 2 == 0 ? kBlack : Colour{255, 255, 0});
    }
  }
  return image;
}

// A blue and white chequer, for the side columns.
RgbaImage Chequer(int width, int height) {
  RgbaImage image = Blank(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Put(&image, x, y, ((x / 6) + (y / 6)) % 2 == 0 ? Colour{0, 0, 255} : kWhite);
    }
  }
  return image;
}

RgbaImage Solid(int width, int height, Colour colour) {
  RgbaImage image = Blank(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Put(&image, x, y, colour);
  }
  return image;
}

}  // namespace

JobInput DemoInput() {
  JobInput input;
  PageInput page;
  page.image = {"demo test page", TestPage()};
  page.spots.push_back({"Gold", {"demo gold star", GoldStar()}});
  input.pages.push_back(std::move(page));

  const Colour corner{255, 0, 0};
  input.cells[hostkit::kFirstLeft] = {"demo corner", Solid(kColumnWidth, kBandHeight, corner)};
  input.cells[hostkit::kFirstCentre] = {"demo first band", FirstBand()};
  input.cells[hostkit::kFirstRight] = {"demo corner", Solid(kColumnWidth, kBandHeight, corner)};
  input.cells[hostkit::kMiddleLeft] = {"demo left column", Chequer(kColumnWidth, kPageHeight)};
  input.cells[hostkit::kMiddleRight] = {"demo right column", Chequer(kColumnWidth, kPageHeight)};
  input.cells[hostkit::kLastLeft] = {"demo corner", Solid(kColumnWidth, kBandHeight, corner)};
  input.cells[hostkit::kLastCentre] = {"demo last band", Stripes(kPageWidth, kBandHeight)};
  input.cells[hostkit::kLastRight] = {"demo corner", Solid(kColumnWidth, kBandHeight, corner)};
  return input;
}

SpoolSettings DemoSettings() {
  SpoolSettings settings;
  settings.dpi = 180.0f;
  settings.media_width = 4.0;
  settings.media_length = 6.0;
  settings.top_margin = 0.1;
  settings.copy_gap = 0.1;
  settings.copy_row_gap = 0.1f;
  settings.ribbon = hostkit::kFourColourRibbon;
  settings.halftone.screen = ScreenKind::kDevice;
  return settings;
}

}  // namespace pc50::cli
