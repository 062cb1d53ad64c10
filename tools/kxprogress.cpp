#include "tools/kxprogress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kUpdateInterval{250};
constexpr int kLineWidth = 60;

bool IsTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace

KxProgress::KxProgress(long nTotal)
    : bTerminal(IsTerminal(stderr)), bShown(false), nTotal(nTotal), nextUpdate(Clock::now() + kQuietStart)
{
}

void KxProgress::Update(long nDone)
{
    if (!bTerminal)
        return;
    const Clock::time_point now = Clock::now();
    if (now < nextUpdate)
        return;
    nextUpdate = now + kUpdateInterval;
    std::fprintf(stderr, "\rkxsnapshot: frame %ld of %ld (%ld%%)", nDone, nTotal,
                 long(100.0 * double(nDone) / double(nTotal)));
    std::fflush(stderr);
    bShown = true;
}

void KxProgress::Finish()
{
    if (bShown)
        std::fprintf(stderr, "\r%*s\r", kLineWidth, "");
    bShown = false;
}
