#include <gtest/gtest.h>

#include "app/kxprogramoptions.h"

TEST(ProgramOptions, CommandLines)
{
    struct Case {
        const char* commandLine;
        bool bGood;
        int nMaxFps;
        bool bShowFps;
        bool bHelp;
        int nThreads = 1;
    } const cases[] = {
        {"", true, 0, false, false},
        {nullptr, true, 0, false, false},
        {"--max-fps 60 --show-fps", true, 60, true, false},
        {"  --show-fps\t--max-fps   0 ", true, 0, true, false},
        {"\"--max-fps\" \"1000\"", true, 1000, false, false},
        {"-h", true, 0, false, true},
        {"--threads 0 --max-fps 30", true, 30, false, false, 0},
        {"--threads 256", true, 0, false, false, 256},
        {"--max-fps", false, 0, false, false},
        {"--max-fps 1001", false, 0, false, false},
        {"--max-fps -1", false, 0, false, false},
        {"--max-fps 6x", false, 0, false, false},
        {"--threads 257", false, 0, false, false},
        {"--threads", false, 0, false, false},
        {"--bogus", false, 0, false, false},
        {"\"--show-fps --help\"", false, 0, false, false},  // one argument
    };
    for (const Case& c : cases) {
        KxProgramOptions options;
        std::string error;
        const char* shown = c.commandLine ? c.commandLine : "(null)";
        ASSERT_EQ(KxParseProgramOptions(c.commandLine, &options, &error), c.bGood) << shown;
        EXPECT_EQ(error.empty(), c.bGood) << shown;
        if (!c.bGood)
            continue;
        EXPECT_EQ(options.nMaxFps, c.nMaxFps) << shown;
        EXPECT_EQ(options.bShowFps, c.bShowFps) << shown;
        EXPECT_EQ(options.bHelp, c.bHelp) << shown;
        EXPECT_EQ(options.nThreads, c.nThreads) << shown;
    }
}
