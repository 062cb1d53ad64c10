// Paces frames to at most a given number a second. Frames are due on a fixed
// schedule, one period apart, so a sleep that ends late does not lower the
// average rate; a program that falls more than a period behind starts a new
// schedule instead of catching up in a burst.
#pragma once

#include <chrono>

class KxFramePacer {
public:
    typedef std::chrono::steady_clock Clock;

    explicit KxFramePacer(int maxFps);  // 0 or less: no limit

    // How long until the next frame is due; zero when it may start now.
    Clock::duration TimeToNextFrame(Clock::time_point now) const;
    // Called as a frame starts.
    void FrameStarted(Clock::time_point now);

private:
    Clock::duration period;  // zero: no limit
    Clock::time_point nextFrame;
};
