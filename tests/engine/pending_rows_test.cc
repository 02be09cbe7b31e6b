#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pipeline_support.h"

namespace pc50::pipeline_testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Drives the pending-row operations directly on a device of one page.
class PendingRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitJobContext(&job_);
    driver_.SetDevice(&device_);
    driver_.job_ = &job_;
    device_.Attach(&job_, &driver_.settings_);
    device_.StartJob(8, 10, 1);
    driver_.separatorPhase_ = 0;
  }

  // Planes 0..count-1 enabled at bits per pixel, on a page 8 pixels wide.
  void Planes(int count, int bits) {
    SettingsBlock& s = driver_.settings_;
    driver_.pageColumns_ = 8;
    for (int p = 0; p < count; ++p) {
      s.planes[p].enabled = 1;
      s.planes[p].bitsPerPixel = bits;
      driver_.planeBufferSizes_[p] = bits + 64;
      driver_.planeBuffers_[p].reset(new std::uint8_t[bits + 64]());
    }
    s.enabledPlaneCount = count;
    s.firstPlane = 0;
    s.lastPlane = count - 1;
    s.currentPlane = 0;
  }

  // The first bytes of the separator row each plane sends, plane after plane.
  std::vector<Bytes> SeparatorLine(int planes) {
    std::vector<Bytes> line;
    for (int p = 0; p < planes; ++p) {
      driver_.settings_.currentPlane = p;
      EXPECT_EQ(driver_.PutSeparatorRow(), 1) << LastFailure();
      line.push_back(device_.pages.back().bytes[p].back());
    }
    return line;
  }

  Bytes Sent(int plane) const {
    Bytes firstBytes;
    for (const Bytes& row : device_.pages.back().bytes.at(plane)) firstBytes.push_back(row.at(0));
    return firstBytes;
  }

  JobContext job_;
  RecordingDevice device_;
  ProbeDriver driver_;
};

TEST_F(PendingRowsTest, FourOneBitPlanesShareOneSolidLine) {
  Planes(4, 1);
  for (int line = 0; line < 2; ++line) {
    EXPECT_EQ(SeparatorLine(4), (std::vector<Bytes>{{0x11}, {0x22}, {0x44}, {0x88}})) << line;
  }
  driver_.separatorPhase_ = 0;
  Planes(5, 2);  // five planes: the pattern's phase runs modulo 4
  EXPECT_EQ(SeparatorLine(5), (std::vector<Bytes>{{0x11, 0x11}, {0x22, 0x22}, {0x44, 0x44}, {0x88, 0x88},
                                                  {0x11, 0x11}}));
}

TEST_F(PendingRowsTest, EightBitPlanesTakeEveryNthPixel) {
  Planes(3, 8);
  const std::uint8_t X = 0xFF;
  EXPECT_EQ(SeparatorLine(3), (std::vector<Bytes>{{X, 0, 0, X, 0, 0, X, 0}, {0, X, 0, 0, X, 0, 0, X},
                                                  {0, 0, X, 0, 0, X, 0, 0}}));
}

TEST_F(PendingRowsTest, SinglePlaneOrSeparationsGiveASolidLine) {
  Planes(1, 1);
  EXPECT_EQ(SeparatorLine(1), (std::vector<Bytes>{{0xFF}}));
  Planes(2, 1);
  driver_.settings_.separations = 1;
  driver_.settings_.separationsOnLastPosition = 0;
  EXPECT_EQ(SeparatorLine(2), (std::vector<Bytes>{{0xFF}, {0xFF}}));
  EXPECT_EQ(driver_.separatorPhase_, 0);
  // A page that ends inside a byte: nothing past its last pixel (5 of 8 bits
  // used at 1 bit, 1 of 2 pixels at 4 bits).
  driver_.pageColumns_ = 5;
  EXPECT_EQ(SeparatorLine(1), (std::vector<Bytes>{{0xF8}}));
  driver_.settings_.separations = 0;
  driver_.pageColumns_ = 13;
  EXPECT_EQ(SeparatorLine(2), (std::vector<Bytes>{{0x11, 0x10}, {0x22, 0x20}}));
  Planes(2, 4);
  driver_.pageColumns_ = 3;
  EXPECT_EQ(SeparatorLine(2), (std::vector<Bytes>{{0x11, 0x10}, {0x22, 0x20}}));
}

TEST_F(PendingRowsTest, DeviceSwitchingPlanesLeavesTheRestPending) {
  device_.SetRowsPerPlane(1);
  Planes(2, 1);
  driver_.pendingRepeats_[0] = 5;
  driver_.pendingRowBytes_[0] = 1;
  EXPECT_EQ(driver_.FlushRepeatRows(), 1);
  EXPECT_EQ(driver_.pendingRepeats_[0], 4);
  EXPECT_EQ(driver_.settings_.currentPlane, 1);
  EXPECT_EQ(driver_.FlushRepeatRows(), 3);
}

TEST_F(PendingRowsTest, SeparatorBlockAndGapGoOutInOrder) {
  Planes(1, 1);
  driver_.pendingSeparator_[0] = 3;
  driver_.pendingGap_[0] = 2;
  EXPECT_EQ(driver_.FlushPendingRows(), 2);
  EXPECT_EQ(Sent(0), (Bytes{0, 0, 0xFF, 0, 0}));
  EXPECT_EQ(driver_.FlushPendingRows(), 3);
}

TEST_F(PendingRowsTest, FailedRowsFailEveryOperation) {
  Planes(2, 1);
  device_.rowsBeforeFailure = 0;
  EXPECT_EQ(driver_.PutSeparatorRow(), 0);
  driver_.planesOneAtATime_ = 1;
  EXPECT_EQ(driver_.PutBlankRows(1), 0);
  driver_.pendingSeparator_[0] = 1;
  EXPECT_EQ(driver_.FlushPendingRows(), 0);
  driver_.pendingRepeats_[0] = 2;
  driver_.pendingRowBytes_[0] = 1;
  EXPECT_EQ(driver_.FlushRepeatRows(), 0);
}

TEST_F(PendingRowsTest, BlankRowsForAllPlanesNeedOneRowPerPlane) {
  Planes(3, 1);
  driver_.settings_.planes[1].enabled = 0;
  device_.SetRowsPerPlane(2);
  EXPECT_EQ(driver_.PutBlankRows(1), 0);
  EXPECT_NE(std::string(LastFailure()).find("one row per plane"), std::string::npos);
  device_.SetRowsPerPlane(1);
  EXPECT_EQ(driver_.PutBlankRows(2), 1);
  EXPECT_EQ(device_.rowPlanes, (std::vector<int>{0, 2, 0, 2}));
}

TEST_F(PendingRowsTest, EachDriverKeepsItsOwnSeparatorPhase) {
  ProbeDriver other;
  EXPECT_EQ(driver_.TakeSeparatorPhase(4), 0);
  EXPECT_EQ(driver_.TakeSeparatorPhase(4), 1);
  EXPECT_EQ(other.TakeSeparatorPhase(4), 0);
  EXPECT_EQ(driver_.TakeSeparatorPhase(4), 2);
}

class PendingRowsJobTest : public PipelineTest {};

TEST_F(PendingRowsJobTest, SeparatorBlockIsTheSameSentAtOnceOrQueued) {
  SpoolJob job = PixelJob(1, 12, Picture({"#"}));
  job.copyRowGap = static_cast<float>(Inches(3));
  job.topMargin = Inches(2);
  job.pageLength = static_cast<float>(Inches(6));  // a remainder of 3 rows after each copy row
  for (unsigned rowsPerPlane : {0u, 1u, 2u}) {
    SCOPED_TRACE(rowsPerPlane);
    RecordingDevice device;  // 2: rows queued by the band end
    device.SetRowsPerPlane(rowsPerPlane);
    driver_.SetDevice(&device);
    ASSERT_GT(Run(job, 2), 0) << failure_;
    EXPECT_EQ(device.Rows(0), (std::vector<std::string>{"#", ".", ".", "#", ".", ".", "#"}));
    driver_.AbortPrint();
  }
}

}  // namespace
}  // namespace pc50::pipeline_testing
