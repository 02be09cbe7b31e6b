#include "ghostscript.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "image_file.h"

namespace pc50::raster {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kProbeDpi = 9.0;
constexpr int kProbeMaxSpots = 58;  // the most Ghostscript's devices carry beside CMYK
constexpr std::chrono::milliseconds kPollInterval{4};

const char* const kRibbonSpots[] = {"Orange", "Green", "Red", "Blue", "White", "Gold", "Silver"};

bool IsRibbonSpot(const std::string& name) {
  for (const char* ribbon : kRibbonSpots) {
    if (name.size() == std::strlen(ribbon) &&
        std::equal(name.begin(), name.end(), ribbon, [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return true;
    }
  }
  return false;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string PageFile(const fs::path& dir, const char* prefix, std::size_t n) {
  char name[64];
  std::snprintf(name, sizeof name, "%s-%06zu.psd", prefix, n);
  return (dir / name).string();
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::uint64_t DirectorySize(const fs::path& dir) {
  std::uint64_t total = 0;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
    std::error_code ignored;
    const std::uintmax_t size = entry.file_size(ignored);
    if (!ignored) total += size;
  }
  return total;
}

// Big-endian readers over a byte stream.
struct Reader {
  std::ifstream in;
  bool ok = true;

  std::uint32_t Get(int bytes) {
    unsigned char b[4] = {};
    in.read(reinterpret_cast<char*>(b), bytes);
    if (!in) ok = false;
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | b[i];
    return value;
  }
  void Skip(std::uint64_t bytes) {
    in.seekg(static_cast<std::streamoff>(bytes), std::ios::cur);
    if (!in) ok = false;
  }
};

struct PsdHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int channels = 0;
  std::vector<std::string> spot_names;
};

// Header and spot names of a psdcmyk file; the reader is left at the
// first channel's data.
PsdHeader ReadPsdHeader(Reader& r, const std::string& path) {
  auto damaged = [&path](const std::string& what) {
    return Error(path + ": not a page file of Ghostscript's psdcmyk device (" + what + ")");
  };
  PsdHeader header;
  if (r.Get(4) != 0x38425053u || r.Get(2) != 1) throw damaged("no PSD signature");
  r.Skip(6);
  header.channels = static_cast<int>(r.Get(2));
  header.height = r.Get(4);
  header.width = r.Get(4);
  const std::uint32_t depth = r.Get(2);
  const std::uint32_t mode = r.Get(2);
  if (!r.ok || depth != 8 || mode != 4 || header.channels < 4) throw damaged("not 8-bit CMYK");
  r.Skip(r.Get(4));  // colour mode data
  // 64-bit sums, so that no size in the file can wrap them.
  const std::uint64_t resources = r.Get(4);
  std::uint64_t done = 0;
  while (r.ok && done + 12 <= resources) {
    const std::uint32_t signature = r.Get(4);
    const std::uint32_t id = r.Get(2);
    const std::uint32_t name_length = r.Get(1);
    const std::uint32_t name_room = (name_length + 2) & ~1u;  // length byte and name, even
    r.Skip(name_room - 1);
    const std::uint64_t size = r.Get(4);
    const std::uint64_t padded = (size + 1) & ~std::uint64_t{1};
    if (signature != 0x3842494Du) throw damaged("image resource without 8BIM");
    done += 4 + 2 + name_room + 4 + padded;
    if (done > resources) throw damaged("image resources overrun");
    if (id == 1006) {  // names of the extra channels, Pascal strings
      std::uint64_t used = 0;
      while (used < size && r.ok) {
        if (header.spot_names.size() > static_cast<std::size_t>(header.channels)) {
          throw damaged("more channel names than channels");
        }
        const std::uint32_t length = r.Get(1);
        std::string name(length, '\0');
        r.in.read(name.data(), length);
        used += 1 + length;
        header.spot_names.push_back(name);
      }
      if (used > size) throw damaged("channel names overrun");
      r.Skip(padded - used);
    } else {
      r.Skip(padded);
    }
  }
  r.Skip(resources - std::min(done, resources));
  // Ghostscript counts the pad byte of the names in their size: an empty
  // name after the last.
  const std::size_t spots = static_cast<std::size_t>(header.channels - 4);
  if (header.spot_names.size() > spots) header.spot_names.resize(spots);
  r.Skip(r.Get(4));  // layers and masks
  if (r.Get(2) != 0) throw damaged("compressed image data");
  if (!r.ok) throw damaged("cut short");
  return header;
}

// One line of Ghostscript's own words from its log: the error lines, or
// the last line it wrote.
std::string GhostscriptMessage(const std::string& log_path) {
  std::ifstream in(log_path);
  std::string line, errors, last;
  while (std::getline(in, line)) {
    const std::size_t start = line.find_first_not_of(" *\t");
    if (start == std::string::npos) continue;
    line = line.substr(start);
    last = line;
    if (line.find("rror") != std::string::npos || line.find("nable") != std::string::npos) {
      if (errors.size() < 300) errors += (errors.empty() ? "" : "; ") + line;
    }
  }
  std::string message = errors.empty() ? last : errors;
  if (message.size() > 300) message = message.substr(0, 300) + "...";
  return Error::OneLine(message);
}

}  // namespace

// One Ghostscript process and its log.
struct PdfPages::Run {
  pid_t pid = -1;
  bool exited = false;
  int status = 0;
  std::string log;

  ~Run() {
    if (pid > 0 && !exited) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // True once the process has ended (status then holds its wait status).
  bool Ended() {
    if (exited) return true;
    int wstatus = 0;
    const pid_t got = ::waitpid(pid, &wstatus, WNOHANG);
    if (got == pid) {
      exited = true;
      status = wstatus;
    } else if (got < 0 && errno == ECHILD) {
      // Reaped by someone else (a SIGCHLD handler of the application): the
      // status is lost, the page file tells whether the run did its work.
      exited = true;
      status = 0;
    }
    return exited;
  }

};

std::string GhostscriptProgram(const GhostscriptSettings& settings) {
  if (!settings.program.empty()) return settings.program;
  const char* variable = std::getenv(kGhostscriptVariable);
  if (variable != nullptr && variable[0] != '\0') return variable;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/gs";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  throw Error("Ghostscript (gs) is not installed or not on the PATH; install the ghostscript package or set " +
              std::string(kGhostscriptVariable));
}

namespace {

// Starts program with args, output and errors to log_path, input empty.
// Throws Error when it cannot be run.
pid_t Start(const std::string& program, const std::vector<std::string>& args, const std::string& log_path) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int report[2] = {-1, -1};  // the child writes errno here when exec fails
  if (log < 0 || null < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
    const int error = errno;
    if (log >= 0) ::close(log);
    if (null >= 0) ::close(null);
    throw Error(std::string("cannot start Ghostscript: ") + std::strerror(error));
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(null, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::execv(program.c_str(), argv.data());
    const int error = errno;
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  const int fork_error = errno;
  ::close(report[1]);
  ::close(log);
  ::close(null);
  if (pid < 0) {
    ::close(report[0]);
    throw Error(std::string("cannot start Ghostscript: ") + std::strerror(fork_error));
  }
  int exec_error = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    ::waitpid(pid, nullptr, 0);
    throw Error("cannot run Ghostscript " + program + ": " + std::strerror(exec_error));
  }
  return pid;
}

}  // namespace

PdfPages::PdfPages(const std::string& path, double dpi, std::optional<std::pair<double, double>> fit_to,
                   GhostscriptSettings settings)
    : path_(path), dpi_(dpi), fit_to_(fit_to), settings_(std::move(settings)) {
  try {
    program_ = GhostscriptProgram(settings_);
  } catch (const Error& error) {
    Fail(error.what());
  }
  const std::string input = fs::absolute(path).string();
  std::vector<std::string> common = {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=psdcmyk"};
  if (fit_to_) {
    common.push_back("-dDEVICEWIDTHPOINTS=" + Number(fit_to_->first * 72.0));
    common.push_back("-dDEVICEHEIGHTPOINTS=" + Number(fit_to_->second * 72.0));
    common.push_back("-dFIXEDMEDIA");
    common.push_back("-dPDFFitPage");
  }

  // The probe: page sizes and separations, its files read and removed as
  // they are finished.
  Run probe;
  probe.log = (scratch_.path() / "probe.log").string();
  std::vector<std::string> args = common;
  args.push_back("-r" + Number(kProbeDpi));
  args.push_back("-dMaxSpots=" + std::to_string(kProbeMaxSpots));
  args.push_back("-sOutputFile=" + (scratch_.path() / "probe-%06d.psd").string());
  args.push_back("-f");
  args.push_back(input);
  try {
    probe.pid = Start(program_, args, probe.log);
  } catch (const Error& error) {
    Fail(error.what());
  }
  auto take = [&](bool all) {
    for (;;) {
      const std::string file = PageFile(scratch_.path(), "probe", page_count_ + 1);
      if (!Exists(file) || (!all && !Exists(PageFile(scratch_.path(), "probe", page_count_ + 2)))) return;
      Reader reader{std::ifstream(file, std::ios::binary)};
      const PsdHeader header = ReadPsdHeader(reader, file);
      ++page_count_;
      const double width = header.width / kProbeDpi;
      const double length = header.height / kProbeDpi;
      if (page_count_ == 1) first_size_ = fit_to_ ? *fit_to_ : std::make_pair(width, length);
      const double pixels = std::ceil(width * dpi_) * std::ceil(length * dpi_);
      if (!fit_to_ && pixels > static_cast<double>(kMaxImagePixels)) {
        Fail("page " + std::to_string(page_count_) + " is " + Number(width) + "x" + Number(length) +
             " inches, more than the " + std::to_string(kMaxImagePixels) + " pixels a page may have at " +
             Number(dpi_) + " dpi");
      }
      std::vector<std::string> ribbons;
      for (const std::string& name : header.spot_names) {
        if (IsRibbonSpot(name)) {
          ribbons.push_back(name);
        } else if (std::find(folded_.begin(), folded_.end(), name) == folded_.end()) {
          folded_.push_back(name);
        }
      }
      page_ribbons_.push_back(std::move(ribbons));
      std::error_code ignored;
      fs::remove(file, ignored);
    }
  };
  const Clock::time_point start = Clock::now();
  while (!probe.Ended()) {
    take(false);
    Check("reading the document");
    if (std::chrono::duration<double>(Clock::now() - start).count() > settings_.time_limit) {
      Fail("Ghostscript took longer than " + Number(settings_.time_limit) + " s to read the document; stopped");
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  if (!WIFEXITED(probe.status) || WEXITSTATUS(probe.status) != 0) {
    const std::string message = GhostscriptMessage(probe.log);
    Fail("Ghostscript failed (" +
         (WIFEXITED(probe.status) ? "exit status " + std::to_string(WEXITSTATUS(probe.status))
                                  : "signal " + std::to_string(WTERMSIG(probe.status))) +
         ")" + (message.empty() ? "" : ": " + message));
  }
  take(true);
  if (page_count_ == 0) {
    const std::string message = GhostscriptMessage(probe.log);
    Fail("no pages; a damaged or empty PDF" + (message.empty() ? "" : " (Ghostscript: " + message + ")"));
  }
  common_ = std::move(common);
  input_ = input;
}

PdfPages::~PdfPages() = default;

void PdfPages::Fail(const std::string& what) { throw Error(path_ + ": " + what); }

void PdfPages::Check(const char* what) {
  if (settings_.cancelled && settings_.cancelled()) throw Cancelled(path_ + ": cancelled while " + what);
  const std::uint64_t used = DirectorySize(scratch_.path());
  if (used > settings_.output_limit) {
    Fail("Ghostscript's output passed the limit of " + std::to_string(settings_.output_limit) +
         " bytes while " + what + "; stopped");
  }
}

bool PdfPages::Next(PlanePage* page) {
  if (next_page_ >= page_count_) return false;
  const std::size_t n = next_page_ + 1;
  const std::string what = "rendering page " + std::to_string(n);
  const std::string file = PageFile(scratch_.path(), "page", n);

  // One run a page: Ghostscript keeps only as many separations as the page
  // uses, so each run declares exactly the page's own spot ribbons.
  const std::vector<std::string>& ribbons = page_ribbons_[next_page_];
  Run run;
  run.log = (scratch_.path() / "render.log").string();
  std::vector<std::string> args = common_;
  args.push_back("-r" + Number(dpi_));
  args.push_back("-dFirstPage=" + std::to_string(n));
  args.push_back("-dLastPage=" + std::to_string(n));
  args.push_back("-dMaxSpots=" + std::to_string(ribbons.size()));
  args.push_back("-sOutputFile=" + file);
  if (!ribbons.empty()) {
    // Hex strings: a separation's name may hold any byte.
    std::string names;
    for (const std::string& name : ribbons) {
      names += '<';
      for (unsigned char c : name) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", c);
        names += hex;
      }
      names += '>';
    }
    args.push_back("-c");
    args.push_back("<< /SeparationColorNames [" + names + "] >> setpagedevice");
  }
  args.push_back("-f");
  args.push_back(input_);
  try {
    run.pid = Start(program_, args, run.log);
  } catch (const Error& error) {
    Fail(error.what());
  }
  const Clock::time_point start = Clock::now();
  while (!run.Ended()) {
    Check(what.c_str());
    if (std::chrono::duration<double>(Clock::now() - start).count() > settings_.time_limit) {
      Fail("Ghostscript took longer than " + Number(settings_.time_limit) + " s " + what + "; stopped");
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0 || !Exists(file)) {
    const std::string message = GhostscriptMessage(run.log);
    Fail("Ghostscript failed " + what + " (" +
         (!WIFEXITED(run.status)  ? "signal " + std::to_string(WTERMSIG(run.status))
          : Exists(file)          ? "exit status " + std::to_string(WEXITSTATUS(run.status))
                                  : "no page written") +
         ")" + (message.empty() ? "" : ": " + message));
  }
  *page = ReadPsdPage(file);
  page->source = path_ + " page " + std::to_string(n);
  std::error_code ignored;
  fs::remove(file, ignored);
  ++next_page_;
  return true;
}

PlanePage ReadPsdPage(const std::string& path) {
  Reader reader{std::ifstream(path, std::ios::binary)};
  if (!reader.in) throw Error("cannot open " + path + ": " + std::strerror(errno));
  const PsdHeader header = ReadPsdHeader(reader, path);
  const std::uint64_t pixels = static_cast<std::uint64_t>(header.width) * header.height;
  if (pixels == 0 || pixels > kMaxImagePixels) {
    throw Error(path + ": page of " + std::to_string(header.width) + "x" + std::to_string(header.height) +
                " pixels is outside what the raster step takes (1.." + std::to_string(kMaxImagePixels) +
                " pixels)");
  }
  if (static_cast<std::size_t>(header.channels) != 4 + header.spot_names.size()) {
    throw Error(path + ": " + std::to_string(header.channels) + " channels but " +
                std::to_string(header.spot_names.size()) + " separation names");
  }
  PlanePage page;
  page.width = header.width;
  page.height = header.height;
  auto read_plane = [&](std::vector<std::uint8_t>& values) {
    values.resize(static_cast<std::size_t>(pixels));
    reader.in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(pixels));
    if (!reader.in) throw Error(path + ": page data cut short");
    // The file stores 255 for no ink.
    for (std::uint8_t& v : values) v = static_cast<std::uint8_t>(255 - v);
  };
  for (auto& plane : page.cmyk) read_plane(plane);
  for (const std::string& name : header.spot_names) {
    page.spots.push_back({name, {}});
    read_plane(page.spots.back().values);
  }
  return page;
}

}  // namespace pc50::raster
