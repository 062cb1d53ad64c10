// The clock and the pause of kxwin32.h.
#include "platform/kxwin32.h"

#include <chrono>
#include <thread>

DWORD GetTickCount() {
    auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<DWORD>(milliseconds);  // wraps like Win32's after 49.7 days
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
