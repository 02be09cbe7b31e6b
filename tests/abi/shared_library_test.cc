// The loadable module seen from a C host: dlopen, dlsym, byte records.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pc50/pc50.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"

namespace {

namespace pji = pc50::print_job_info;

using JobFunction = int (*)(void*);
using Factory = ABasePrinterDriver* (*)();
using NoArgument = int (*)();
using Displays = short (*)(char*, char*);

class SharedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = ::dlopen(PC50DRV_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << ::dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  template <typename F>
  F Symbol(const char* name) {
    return reinterpret_cast<F>(::dlsym(handle_, name));
  }

  void* handle_ = nullptr;
};

TEST_F(SharedLibraryTest, ExportsExactlyTheHostInterface) {
  const std::string command = std::string("nm -D --defined-only ") + PC50DRV_PATH;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], type[8], name[900];
    if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3) names.insert(name);
  }
  ::pclose(pipe);

  const std::set<std::string> required = {
      "INITIALIZEPRINT", "RESUMEPRINT", "ABORTPRINT", "SETJOBFILENAME", "DECODESTRING", "HASCONFIGDIALOG",
      "GetRowNumber", "PutPPDDisplays", "PopUpDriverOptionDialog", "createNewPrinterDriver",
      "_ZN18ABasePrinterDriverC1Ev", "_ZN18ABasePrinterDriverC1ERKS_", "_ZN18ABasePrinterDriveraSERKS_",
      "_ZN18ABasePrinterDriverD1Ev", "_ZTV18ABasePrinterDriver", "_ZN18ABasePrinterDriver10AbortPrintEv",
      "_ZN18ABasePrinterDriver10GetVersionEv", "_ZN18ABasePrinterDriver9GetStatusERiPc"};
  for (const std::string& name : required) EXPECT_EQ(names.count(name), 1u) << name;
  for (const std::string& name : names) {
    const bool allowed = required.count(name) != 0 || name.rfind("_ZN18ABasePrinterDriver", 0) == 0 ||
                         (name.rfind("_ZT", 0) == 0 && name.find("18ABasePrinterDriver") != std::string::npos) ||
                         name.rfind("pc50_", 0) == 0 || name.rfind("__", 0) == 0;  // sanitizer runtime hooks
    EXPECT_TRUE(allowed) << "unexpected export " << name;
  }
}

TEST_F(SharedLibraryTest, QuestionFunctionsAnswer) {
  ASSERT_NE(Symbol<NoArgument>("HASCONFIGDIALOG"), nullptr);
  EXPECT_EQ(Symbol<NoArgument>("HASCONFIGDIALOG")(), 1);
  EXPECT_EQ(Symbol<NoArgument>("GetRowNumber")(), 17);
  char display[256] = {};
  char block[256] = {};
  EXPECT_EQ(Symbol<Displays>("PutPPDDisplays")(display, block), 1);
  EXPECT_STREQ(display, "Print Order:0,YMCK,CMYK;");
}

TEST_F(SharedLibraryTest, FactoryMakesAPc50Driver) {
  Factory create = Symbol<Factory>("createNewPrinterDriver");
  ASSERT_NE(create, nullptr);
  ABasePrinterDriver* driver = create();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->GetRowNumber(), 17);
  EXPECT_EQ(driver->HasDriverOption(), 1);
  char name[64] = {};
  EXPECT_EQ(driver->GetPrinterName(name, nullptr), 1);
  EXPECT_STREQ(name, "PC-50 Thermal Printer");
  delete driver;
}

TEST_F(SharedLibraryTest, JobRunsThroughTheEntryPointsWithAByteRecord) {
  pc50::testing::TempDir dir;
  pc50::hostkit::SpoolJob job;
  job.colours = {"Black"};
  pc50::hostkit::Image image;
  image.cells[pc50::hostkit::kMain] = pc50::hostkit::FilledCell(16, 2, {0});
  job.images.push_back(image);
  ASSERT_EQ(pc50::hostkit::WriteSpoolJob(job, dir / "job.spl"), "");

  std::vector<char> info(2048, 0);
  std::strcpy(&info[pji::kSpoolPath], (dir / "job.spl").c_str());
  std::strcpy(&info[pji::kOutputPath], (dir / "job.prn").c_str());
  const std::int16_t noPrompts = 4;
  std::memcpy(&info[pji::kPromptMode], &noPrompts, 2);

  auto initialize = Symbol<JobFunction>("INITIALIZEPRINT");
  auto abort = Symbol<JobFunction>("ABORTPRINT");
  auto resume = Symbol<JobFunction>("RESUMEPRINT");
  ASSERT_NE(initialize, nullptr);
  ASSERT_NE(abort, nullptr);
  ASSERT_NE(resume, nullptr);
  EXPECT_EQ(initialize(info.data()), 1);
  EXPECT_EQ(abort(info.data()), 1);
  std::int16_t promptMode = 0;
  std::memcpy(&promptMode, &info[pji::kPromptMode], 2);
  EXPECT_EQ(promptMode, -1);
  EXPECT_EQ(resume(info.data()), 0);  // the slots are empty again
}

}  // namespace
