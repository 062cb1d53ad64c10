// The frame pacer behind --max-fps: frames due on a fixed schedule.
#include <gtest/gtest.h>

#include "app/kxframepacer.h"

namespace {

using Clock = KxFramePacer::Clock;
using std::chrono::milliseconds;

const Clock::time_point t0 = Clock::time_point() + std::chrono::hours(1);
const Clock::duration period60 = Clock::duration(std::chrono::seconds(1)) / 60;

}  // namespace

TEST(FramePacer, FramesAreDueOnAFixedSchedule)
{
    KxFramePacer pacer(60);
    EXPECT_EQ(pacer.TimeToNextFrame(t0), Clock::duration::zero());  // the first frame at once
    pacer.FrameStarted(t0);
    EXPECT_EQ(pacer.TimeToNextFrame(t0 + milliseconds(10)), period60 - milliseconds(10));
    // A frame that starts late keeps the schedule: the next is due one
    // period after the last one was due, not after this one started.
    pacer.FrameStarted(t0 + period60 + milliseconds(5));
    EXPECT_EQ(pacer.TimeToNextFrame(t0 + period60 + milliseconds(6)), period60 - milliseconds(6));
    // More than a period behind: a new schedule, no burst of frames.
    pacer.FrameStarted(t0 + 10 * period60);
    EXPECT_EQ(pacer.TimeToNextFrame(t0 + 10 * period60), period60);

    KxFramePacer unlimited(0);
    unlimited.FrameStarted(t0);
    EXPECT_EQ(unlimited.TimeToNextFrame(t0), Clock::duration::zero());
}
