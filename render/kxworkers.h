// A device's worker threads: started once, kept, and asleep on a condition
// variable while nothing is to be done. Run hands one task to every thread,
// the calling one included, and returns when all of them have finished it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class KxWorkers {
public:
    KxWorkers() = default;
    ~KxWorkers() { Stop(); }
    KxWorkers(const KxWorkers&) = delete;
    KxWorkers& operator=(const KxWorkers&) = delete;

    // count threads in all, the caller's included: count - 1 are started.
    // False when the system refuses a thread; the workers then number 1.
    bool SetCount(uint32_t count);
    uint32_t Count() const { return uint32_t(threads.size()) + 1; }

    // task(index) on every thread, index 0 on the calling one, 1 to
    // Count() - 1 on the workers; returns when every call has returned.
    template <typename Task>
    void Run(Task& task)
    {
        Dispatch(&Call<Task>, &task);
    }

    // Inside a task: returns when every thread has reached it.
    void Sync();

private:
    typedef void (*TaskFunction)(void* task, uint32_t index);

    template <typename Task>
    static void Call(void* task, uint32_t index)
    {
        (*static_cast<Task*>(task))(index);
    }

    void Dispatch(TaskFunction function, void* task);
    void Serve(uint32_t index, uint64_t nDone);
    void Stop();

    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable wake;      // a new task, or the stop
    std::condition_variable finished;  // the last worker is done
    std::condition_variable synced;    // every thread has reached Sync
    TaskFunction pFunction = nullptr;
    void* pTask = nullptr;
    uint64_t nRound = 0;  // tasks handed out so far
    uint32_t nBusy = 0;   // workers still on the current task
    uint64_t nSyncs = 0;  // Syncs every thread has passed
    uint32_t nSyncing = 0;  // threads waiting in the current one
    bool bStopping = false;
};
