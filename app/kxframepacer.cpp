#include "app/kxframepacer.h"

KxFramePacer::KxFramePacer(int maxFps)
    : period(maxFps > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / maxFps
                        : Clock::duration::zero()),
      nextFrame()
{
}

KxFramePacer::Clock::duration KxFramePacer::TimeToNextFrame(Clock::time_point now) const
{
    if (period == Clock::duration::zero() || now >= nextFrame)
        return Clock::duration::zero();
    return nextFrame - now;
}

void KxFramePacer::FrameStarted(Clock::time_point now)
{
    if (period == Clock::duration::zero())
        return;
    const bool bBehind = now - nextFrame >= period;  // also true for the first frame
    nextFrame = (bBehind ? now : nextFrame) + period;
}
