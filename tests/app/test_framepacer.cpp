#include <gtest/gtest.h>

#include "app/kxframepacer.h"

namespace {

using Clock = KxFramePacer::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

const Clock::time_point t0 = Clock::time_point() + std::chrono::hours(1);
const Clock::duration period60 = Clock::duration(std::chrono::seconds(1)) / 60;

// Frames a loop like the program's idle loop starts in `seconds` of
// simulated time: naps of at most 10 ms that end up to `lateness` late,
// frames that take `frameTime` to draw.
int FramesIn(int maxFps, int seconds, Clock::duration lateness, Clock::duration frameTime)
{
    KxFramePacer pacer(maxFps);
    int frames = 0;
    for (Clock::time_point now = t0; now < t0 + std::chrono::seconds(seconds);) {
        const Clock::duration wait = pacer.TimeToNextFrame(now);
        if (wait > Clock::duration::zero()) {
            now += std::min<Clock::duration>(wait, milliseconds(10)) + lateness;
            continue;
        }
        pacer.FrameStarted(now);
        ++frames;
        now += frameTime;
    }
    return frames;
}

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
}

TEST(FramePacer, LateNapsKeepTheAverageRate)
{
    struct Case {
        int maxFps;
        Clock::duration lateness, frameTime;
    } const cases[] = {
        {60, milliseconds(15), milliseconds(1)},  // a coarse system timer
        {60, {}, milliseconds(16)},               // frames nearly a period long
        {1000, microseconds(300), microseconds(200)},
    };
    for (const Case& c : cases) {
        const int frames = FramesIn(c.maxFps, 10, c.lateness, c.frameTime);
        EXPECT_LE(frames, 10 * c.maxFps + 1) << c.maxFps;
        EXPECT_GE(frames, 10 * c.maxFps - 1) << c.maxFps;
    }
}
