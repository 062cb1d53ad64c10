// The rows of the frame one thread fills when a draw is split across
// threads: bands of kRows rows dealt out in turn, band b to worker
// b mod nWorkers. Each pixel belongs to one worker, which fills it in the
// order of the draw, so the bytes do not depend on the number of workers.
// Narrow bands keep the work even wherever the triangles lie.
#pragma once

#include <algorithm>
#include <cstdint>

struct KxRowBands {
    static constexpr int32_t kRows = 16;

    int32_t nWorkers = 1;
    int32_t index = 0;  // the worker, 0 .. nWorkers - 1

    bool IsWhole() const { return nWorkers == 1; }

    // The first row at or after y (y >= 0) that the worker owns, and the
    // last row of the run of owned rows that starts there.
    void NextRun(int32_t y, int64_t& first, int64_t& last) const
    {
        if (IsWhole()) {
            first = y;
            last = INT32_MAX;
            return;
        }
        const int64_t band = y / kRows;
        const int64_t owned = band + (index - band % nWorkers + nWorkers) % nWorkers;
        first = owned == band ? y : owned * kRows;
        last = owned * kRows + kRows - 1;
    }

    // Whether the worker owns any of the rows first .. last (first >= 0).
    bool OwnsAnyOf(int32_t first, int32_t last) const
    {
        int64_t runFirst, runLast;
        NextRun(first, runFirst, runLast);
        return runFirst <= last;
    }
};

// The runs of rows of first .. last (0 <= first) that one worker owns, in
// order: for (KxOwnedRuns runs(bands, first, last); runs.Next();) uses
// runs.first .. runs.last.
struct KxOwnedRuns {
    KxOwnedRuns(const KxRowBands& bands, int32_t rowFirst, int32_t rowLast)
        : bands(bands), next(rowFirst), end(rowLast)
    {
    }

    bool Next()
    {
        if (next > end)
            return false;
        int64_t runFirst, runLast;
        bands.NextRun(int32_t(next), runFirst, runLast);
        if (runFirst > end)
            return false;
        first = int32_t(runFirst);
        last = int32_t(std::min<int64_t>(runLast, end));
        next = int64_t(last) + 1;
        return true;
    }

    const KxRowBands& bands;
    int64_t next, end;
    int32_t first = 0, last = -1;
};

// Whether the worker owns a row of top .. bottom inside a frame of height
// rows: a triangle without one is left to the others before its set-up.
inline bool KxOwnsAnyRow(const KxRowBands& bands, int32_t top, int32_t bottom, int32_t height)
{
    const int32_t first = std::max(top, 0), last = std::min(bottom, height - 1);
    return first <= last && bands.OwnsAnyOf(first, last);
}

// Sets bit in owners[w] for every worker w of nWorkers that owns a row of
// top .. bottom inside a frame of height rows.
inline void KxMarkOwners(int32_t nWorkers, int32_t top, int32_t bottom, int32_t height, uint64_t bit,
                         uint64_t* owners)
{
    const int32_t first = std::max(top, 0), last = std::min(bottom, height - 1);
    if (first > last)
        return;
    const int32_t firstBand = first / KxRowBands::kRows, lastBand = last / KxRowBands::kRows;
    if (lastBand - firstBand + 1 >= nWorkers) {
        for (int32_t worker = 0; worker < nWorkers; ++worker)
            owners[worker] |= bit;
        return;
    }
    for (int32_t band = firstBand; band <= lastBand; ++band)
        owners[band % nWorkers] |= bit;
}
