// A progress line on stderr, rewritten in place, for runs long enough to
// leave a person wondering: shown only on a terminal (logs and pipes stay
// clean) and only once the run has taken more than a second.
#pragma once

#include <chrono>

class KxProgress {
public:
    explicit KxProgress(long nTotal);
    // After each step; cheap when there is nothing to show.
    void Update(long nDone);
    // Clears the line, so what is printed next starts on a clean one.
    void Finish();

private:
    typedef std::chrono::steady_clock Clock;

    bool bTerminal;
    bool bShown;
    long nTotal;
    Clock::time_point nextUpdate;
};
