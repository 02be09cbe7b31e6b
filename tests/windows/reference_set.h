// The reference set: spool jobs and the streams the Linux build printed from
// them, against which the Windows module is checked.
//
//   <dir>/jobs.txt              one line per job: name copies singlePage(0|1)
//   <dir>/<name>/job.spl        the spool file, raster files beside it
//   <dir>/<name>/reference.prn  the stream, printed with prompts off
//   <dir>/<name>/prompts.txt    the cartridge prompts of the job in order,
//                               one "caption<TAB>text" a line
//
// jobs.txt is written last, so a set without it is incomplete.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pc50::wintest {

struct ReferenceJob {
  std::string name;
  int copies = 1;
  bool singlePage = false;
};

struct Prompt {
  std::string caption;
  std::string text;
};

inline std::string JobPath(const std::string& dir, const std::string& name, const char* file) {
  return dir + "/" + name + "/" + file;
}

// The jobs of the set in dir; empty (with *problem set) when jobs.txt is
// missing or damaged.
inline std::vector<ReferenceJob> ReadManifest(const std::string& dir, std::string* problem) {
  std::vector<ReferenceJob> jobs;
  const std::string path = dir + "/jobs.txt";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) {
    *problem = "no reference set: cannot open " + path;
    return jobs;
  }
  char name[128];
  int copies = 0;
  int singlePage = 0;
  int fields;
  while ((fields = std::fscanf(file, "%127s %d %d", name, &copies, &singlePage)) == 3) {
    jobs.push_back(ReferenceJob{name, copies, singlePage != 0});
  }
  if (fields != EOF || jobs.empty()) {
    *problem = "damaged reference list " + path;
    jobs.clear();
  }
  std::fclose(file);
  return jobs;
}

inline bool WriteManifest(const std::string& dir, const std::vector<ReferenceJob>& jobs) {
  const std::string path = dir + "/jobs.txt";
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  for (const ReferenceJob& job : jobs) std::fprintf(file, "%s %d %d\n", job.name.c_str(), job.copies, job.singlePage ? 1 : 0);
  return std::fclose(file) == 0;
}

inline std::vector<Prompt> ReadPrompts(const std::string& path, bool* ok) {
  std::vector<Prompt> prompts;
  std::FILE* file = std::fopen(path.c_str(), "r");
  *ok = file != nullptr;
  if (file == nullptr) return prompts;
  char line[1024];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t tab = text.find('\t');
    if (tab == std::string::npos) {
      *ok = false;
      break;
    }
    prompts.push_back(Prompt{text.substr(0, tab), text.substr(tab + 1)});
  }
  std::fclose(file);
  return prompts;
}

inline bool WritePrompts(const std::string& path, const std::vector<Prompt>& prompts) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  for (const Prompt& prompt : prompts) std::fprintf(file, "%s\t%s\n", prompt.caption.c_str(), prompt.text.c_str());
  return std::fclose(file) == 0;
}

}  // namespace pc50::wintest
