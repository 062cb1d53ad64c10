#include "render/kxworkers.h"

#include <system_error>

bool KxWorkers::SetCount(uint32_t count)
{
    if (count == Count())
        return true;
    Stop();
    threads.reserve(count > 1 ? count - 1 : 0);
    for (uint32_t index = 1; index < count; ++index) {
        // The one exception the library meets: a thread the system will
        // not start is reported, not left to end the program.
        try {
            threads.emplace_back(&KxWorkers::Serve, this, index, nRound);
        } catch (const std::system_error&) {
            Stop();
            return false;
        }
    }
    return true;
}

void KxWorkers::Dispatch(TaskFunction function, void* task)
{
    if (threads.empty()) {
        function(task, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        pFunction = function;
        pTask = task;
        nBusy = uint32_t(threads.size());
        ++nRound;
    }
    wake.notify_all();
    function(task, 0);
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [this] { return nBusy == 0; });
}

// A barrier of our own: std::barrier can lose a wake-up where threads are
// not futexes (MinGW's), and the threads then wait for ever.
void KxWorkers::Sync()
{
    if (threads.empty())
        return;
    std::unique_lock<std::mutex> lock(mutex);
    const uint64_t nPassed = nSyncs;
    if (++nSyncing == Count()) {
        nSyncing = 0;
        ++nSyncs;
        lock.unlock();
        synced.notify_all();
        return;
    }
    synced.wait(lock, [this, nPassed] { return nSyncs != nPassed; });
}

// nDone: the rounds handed out before the thread was started.
void KxWorkers::Serve(uint32_t index, uint64_t nDone)
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this, nDone] { return bStopping || nRound != nDone; });
        if (bStopping)
            return;
        nDone = nRound;
        const TaskFunction function = pFunction;
        void* const task = pTask;
        lock.unlock();
        function(task, index);
        lock.lock();
        if (--nBusy == 0)
            finished.notify_one();
    }
}

void KxWorkers::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        bStopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    threads.clear();
    std::lock_guard<std::mutex> lock(mutex);
    bStopping = false;
}
