// A registered window class whose procedure records every message, and a
// fixture that leaves no window, class, queued message or held key behind.
#pragma once

#include "platform/kxwin32.h"

#include <gtest/gtest.h>

#include <vector>

struct KxRecordedMessage {
    HWND hwnd;
    UINT message;
    bool operator==(const KxRecordedMessage&) const = default;
};

inline std::vector<KxRecordedMessage>& RecordedMessages() {
    static std::vector<KxRecordedMessage> messages;
    return messages;
}

inline LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline int CountRecorded(HWND hwnd, UINT message) {
    int count = 0;
    for (const KxRecordedMessage& recorded : RecordedMessages()) {
        count += recorded == KxRecordedMessage{hwnd, message};
    }
    return count;
}

inline ATOM RegisterTestClass(const char* name, WNDPROC pfnWndProc = RecordingWndProc) {
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = pfnWndProc;
    wndClass.lpszClassName = name;
    return RegisterClassA(&wndClass);
}

class KxWindowTest : public ::testing::Test {
protected:
    static constexpr const char* kClassName = "KxTestClass";

    void SetUp() override {
        ASSERT_NE(RegisterTestClass(kClassName), 0);
        RecordedMessages().clear();
    }

    void TearDown() override {
        for (HWND hwnd : windows) {
            DestroyWindow(hwnd);  // FALSE for those a test destroyed already
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        EXPECT_TRUE(UnregisterClassA(kClassName, nullptr));
        RecordedMessages().clear();
    }

    HWND CreateTestWindow(int x = 10, int y = 20, int width = 64, int height = 48, const char* className = kClassName) {
        HWND hwnd = CreateWindowExA(0, className, "KxTest", WS_OVERLAPPEDWINDOW, x, y, width, height,
                                    nullptr, nullptr, nullptr, nullptr);
        if (hwnd) {
            windows.push_back(hwnd);
        }
        return hwnd;
    }

    std::vector<HWND> windows;
};
