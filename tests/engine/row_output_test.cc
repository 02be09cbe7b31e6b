#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pipeline_support.h"
#include "platform/platform.h"

namespace pc50::pipeline_testing {
namespace {

using Rows = std::vector<std::string>;

// A clock that moves by a fixed amount every time it is read.
platform::DWORD fakeNow = 0;
platform::DWORD fakeStep = 0;
platform::DWORD FakeTicks() { return fakeNow += fakeStep; }

class RowOutputTest : public PipelineTest {
 protected:
  void SetUp() override {
    PipelineTest::SetUp();
    fakeNow = 0, fakeStep = 0;
    platform::SetTickSourceForTesting(&FakeTicks);
  }
  void TearDown() override { platform::SetTickSourceForTesting(nullptr); }

  // A page of one plane whose main cell is rows high.
  void WriteTall(int rows) {
    Write(PixelJob(100, 1000, Picture(std::vector<std::string>(static_cast<std::size_t>(rows), "#"))));
  }

  // Runs the job to its end; the rows each step sent.
  std::vector<int> RowsPerStep() {
    std::vector<int> perStep;
    for (int step = 0; step < 1000 && driver_.state() != ARasterDriver::JobState::kEnded; ++step) {
      const std::size_t before = device_.rowPlanes.size();
      if (Step() == 0) {
        ADD_FAILURE() << failure_;
        break;
      }
      perStep.push_back(static_cast<int>(device_.rowPlanes.size() - before));
    }
    return perStep;
  }
};

TEST_F(RowOutputTest, TimeEndsTheSliceAfterTheRowThatPassedIt) {
  // Page directory and plane header first; then slices until the band's
  // last row ends the page and the job.
  for (platform::DWORD step : {150u, 250u}) {
    SetUp();
    WriteTall(100);
    ASSERT_TRUE(Start());
    fakeNow = 0xFFFFFF00u;  // the tick counter wraps inside the job
    fakeStep = step;
    std::vector<int> expected{0, 0};
    expected.insert(expected.end(), step == 150 ? 50 : 100, step == 150 ? 2 : 1);
    EXPECT_EQ(RowsPerStep(), expected) << step;
    TearDown();
  }
}

TEST_F(RowOutputTest, OutputBacklogEndsTheSlice) {
  WriteTall(100);
  ASSERT_TRUE(Start());
  device_.outputPerRow = 70000;
  std::vector<int> perStep;
  for (int step = 0; step < 5; ++step) {
    const std::size_t before = device_.rowPlanes.size();
    ASSERT_EQ(Step(), 1) << failure_;
    perStep.push_back(static_cast<int>(device_.rowPlanes.size() - before));
  }
  job_.bytesConsumed = job_.bytesProduced;  // the host catches up
  perStep.push_back(static_cast<int>(RowsPerStep().at(0)));
  EXPECT_EQ(perStep, (std::vector<int>{0, 0, 3, 1, 1, 3}));
}

TEST_F(RowOutputTest, TenthOfThePageEndsTheSliceWithProgress) {
  WriteTall(100);
  ASSERT_TRUE(Start());
  EXPECT_EQ(RowsPerStep(), (std::vector<int>{0, 0, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10}));
  // The last tenth ends with the band, which reports the finished page.
  EXPECT_EQ(device_.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

TEST_F(RowOutputTest, OutputIsTheSameWhateverTheSlicing) {
  SpoolJob job = PixelJob(9, 40, Picture({"#.##", ".##.", "##.#"}, {0, 1}), {"Cyan", "Black"});
  job.images[0].cells[9] = Picture({"#", "#"}, {0, 1});
  job.images[0].cells[3] = Picture({"####", "#..#"}, {0, 1});
  job.images[0].cells[8] = Picture({".", "#"}, {0, 1});
  job.copyGap = Inches(1);
  job.copyRowGap = static_cast<float>(Inches(1));
  job.pageLength = static_cast<float>(Inches(13));
  job.topMargin = Inches(1);
  for (unsigned rowsPerPlane : {0u, 1u, 2u}) {
    std::vector<Rows> reference;
    for (platform::DWORD step : {0u, 150u, 250u}) {
      SCOPED_TRACE(::testing::Message() << "rows per plane " << rowsPerPlane << ", tick step " << step);
      RecordingDevice device;
      device.SetRowsPerPlane(rowsPerPlane);
      driver_.SetDevice(&device);
      fakeStep = step;
      driver_.separatorPhase_ = 0;
      ASSERT_GT(Run(job, 5), 0) << failure_;
      const std::vector<Rows> got{device.Rows(0), device.Rows(1)};
      if (reference.empty()) reference = got;
      EXPECT_EQ(got, reference);
      driver_.AbortPrint();
    }
    EXPECT_EQ(reference[0].size(), 31u);
  }
}

TEST_F(RowOutputTest, RowsThatNeedNoChangeReachTheDeviceAsTheirPackets) {
  // A cell of whole bytes printed once across, unmoved, goes to a device
  // that takes packets as the spool holds them; whatever changes the row, or
  // packets other than the device's own, makes the driver compose it. The
  // device gets the same rows either way, in every row loop.
  const Rows picture = {"########################........#.#.#.#..#.#.#.#", std::string(48, '.'),
                        "#.#.#.#.#.#.#.#.#.#.#.#.########........########"};
  struct Case {
    const char* name;
    std::function<void(SpoolJob&)> change;
    int copies;
    bool asPackets;
    std::size_t rows;  // of each plane
  };
  const std::vector<Case> cases = {
      {"as it is", [](SpoolJob&) {}, 1, true, 3},
      {"copies one under the other", [](SpoolJob& j) { j.mediaWidth = Inches(60); }, 3, true, 9},
      {"two copies side by side", [](SpoolJob&) {}, 2, false, 3},
      {"a left margin", [](SpoolJob& j) { j.leftMargin = Inches(8); }, 1, false, 3},
      {"pixels repeated", [](SpoolJob& j) { j.xResolution = j.yResolution = 90.0f; }, 1, false, 6},
      {"a side cell", [](SpoolJob& j) { j.images[0].cells[1] = Picture({"#", ".", "#"}, {0, 1}); }, 1, false, 3},
      {"a width in part of a byte", [&](SpoolJob& j) {
         Rows narrow;
         for (const std::string& row : picture) narrow.push_back(row.substr(0, 44));
         j.images[0].cells[hostkit::kMain] = Picture(narrow, {0, 1});
       }, 1, false, 3},
      {"literal packets", [](SpoolJob& j) { j.literalRows = true; }, 1, false, 3},
  };
  for (const Case& c : cases) {
    SpoolJob job = PixelJob(100, 40, Picture(picture, {0, 1}), {"Cyan", "Black"});
    c.change(job);
    for (unsigned rowsPerPlane : {0u, 1u, 2u}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", rows per plane " << rowsPerPlane);
      std::vector<Rows> got[2];
      int packets[2] = {0, 0};
      for (int takes = 0; takes < 2; ++takes) {
        RecordingDevice device;
        device.SetRowsPerPlane(rowsPerPlane);
        device.takePackets = takes == 1;
        driver_.SetDevice(&device);
        driver_.separatorPhase_ = 0;
        ASSERT_GT(Run(job, c.copies), 0) << failure_;
        got[takes] = {device.Rows(0), device.Rows(1)};
        packets[takes] = device.packetRows;
        if (takes == 1 && c.asPackets) {
          EXPECT_EQ(packets[1], static_cast<int>(device.rowPlanes.size()));
        }
        driver_.AbortPrint();
      }
      EXPECT_EQ(got[1], got[0]);
      EXPECT_EQ(got[0][0].size(), c.rows);
      EXPECT_EQ(packets[0], 0);
      if (!c.asPackets) {
        EXPECT_EQ(packets[1], 0);
      }
    }
  }
}

TEST_F(RowOutputTest, ARememberedRowIsCheckedAgainWhenItsPacketsDiffer) {
  // Copies find their rows' answers by place; other packets in the same
  // place, or the same packets for another row length, are checked afresh.
  const std::vector<std::uint8_t> own = {0xFD, 0x00, 0x01, 0x11, 0x22};  // 0 0 0 0 11 22
  const std::vector<std::uint8_t> literal = {0x05, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22};
  const std::uint64_t place = 7;
  for (int copy = 0; copy < 2; ++copy) {
    EXPECT_TRUE(driver_.PacketsCanonical(place, own.data(), 5, 6));
    EXPECT_FALSE(driver_.PacketsCanonical(place, literal.data(), 7, 6));
    EXPECT_FALSE(driver_.PacketsCanonical(place, own.data(), 5, 7));
    EXPECT_FALSE(driver_.PacketsCanonical(place, own.data(), 3, 4));
    EXPECT_TRUE(driver_.PacketsCanonical(place + (1u << 14), own.data(), 5, 6));
  }
  // A spool of other packets is looked at less and less, but rows of the
  // device's own are taken again soon after they come.
  for (int row = 0; row < 1000; ++row) EXPECT_FALSE(driver_.PacketsCanonical(row, literal.data(), 7, 6));
  int passed = 0;
  for (int row = 0; row < 64; ++row) passed += driver_.PacketsCanonical(1000 + row, own.data(), 5, 6);
  EXPECT_GE(passed, 1);
  EXPECT_TRUE(driver_.PacketsCanonical(2000, own.data(), 5, 6));
}

TEST_F(RowOutputTest, RepeatsFollowThePlanesTheDeviceAsksFor) {
  SpoolJob job = PixelJob(100, 1000, Picture({"#", "."}, {0, 1}), {"Cyan", "Black"});
  job.yResolution = 60.0f;  // every row three times
  device_.SetRowsPerPlane(1);
  ASSERT_GT(Run(job), 0) << failure_;
  // Each plane gets its row at once; the repeats follow plane after plane
  // once the device is back at the first plane, before the next row.
  EXPECT_EQ(device_.rowPlanes, (std::vector<int>{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
  for (int plane : {0, 1}) EXPECT_EQ(device_.Rows(plane), (Rows{"#", "#", "#", ".", ".", "."}));
}

}  // namespace
}  // namespace pc50::pipeline_testing
