// A long run must not grow: the peak resident size after 2,000 frames and
// after 20,000 frames agree within 1 MiB. Measured in this process alone
// (CTest runs each test in its own process); make soak runs it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/kxscene.h"

namespace {

// VmHWM from /proc/self/status in KiB, or -1.
long PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The keys take turns, so the second pyramid wanders off and comes back.
void RunFrames(KxScene& scene, int from, int to)
{
    const char* keys[] = {"W", "A", "Z", "S", "D", "X"};
    for (int frame = from; frame < to; ++frame) {
        scene.HoldKeys(keys[(frame / 250) % 6]);
        scene.Frame();
    }
}

}  // namespace

TEST(Soak, PeakResidentSizeStaysFlatOverTwentyThousandFrames)
{
    KxScene scene;
    ASSERT_TRUE(scene.SetupOffscreen());
    RunFrames(scene, 0, 2000);
    const long early = PeakResidentKiB();
    ASSERT_GT(early, 0);
    RunFrames(scene, 2000, 20000);
    const long late = PeakResidentKiB();
    EXPECT_LE(late - early, 1024) << "after 2,000 frames: " << early << " KiB; after 20,000: " << late << " KiB";
}
