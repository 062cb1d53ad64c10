#include "tests/platform/kxtestwindow.h"

#include <array>
#include <string>

namespace {

LRESULT CALLBACK RefusingNcCreateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    return message == WM_NCCREATE ? FALSE : DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FailingCreateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RecordedMessages().push_back(KxRecordedMessage{hwnd, message});
    return message == WM_CREATE ? -1 : DefWindowProcA(hwnd, message, wParam, lParam);
}

// Client rectangle, then window rectangle.
std::array<LONG, 8> Rects(HWND hwnd) {
    RECT client{}, window{};
    EXPECT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_TRUE(GetWindowRect(hwnd, &window));
    return {client.left, client.top, client.right, client.bottom, window.left, window.top, window.right, window.bottom};
}

}  // namespace

TEST_F(KxWindowTest, CreationMessagesReachTheProcedureInOrder) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(RecordedMessages(), (std::vector<KxRecordedMessage>{{hwnd, WM_NCCREATE}, {hwnd, WM_CREATE}}));
}

TEST_F(KxWindowTest, WindowRectEqualsClientRectAtThePositionAndFollowsSetWindowPos) {
    HWND hwnd = CreateTestWindow(10, 20, 64, 48);
    EXPECT_EQ(Rects(hwnd), (std::array<LONG, 8>{0, 0, 64, 48, 10, 20, 74, 68}));
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(Rects(hwnd), (std::array<LONG, 8>{0, 0, 100, 80, 10, 20, 110, 100}));
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 30, 40, 1, 1, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_EQ(Rects(hwnd), (std::array<LONG, 8>{0, 0, 100, 80, 30, 40, 130, 120}));
}

TEST_F(KxWindowTest, ClassesAreFoundByNameIgnoringCaseAndKeptWhileTheyHaveWindows) {
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "NoSuchClass"), nullptr);
    HWND hwnd = CreateTestWindow(0, 0, 8, 8, "kxtestclass");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(RegisterTestClass("KXTESTCLASS"), 0);
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));
    ASSERT_TRUE(DestroyWindow(hwnd));
    ASSERT_TRUE(UnregisterClassA(kClassName, nullptr));
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));
    EXPECT_NE(RegisterTestClass(kClassName), 0);  // for TearDown
}

TEST_F(KxWindowTest, DefaultCloseDestroysTheWindowOnce) {
    HWND hwnd = CreateTestWindow();
    EXPECT_EQ(DefWindowProcA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
    RECT rect{};
    EXPECT_FALSE(GetClientRect(hwnd, &rect));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
}

TEST_F(KxWindowTest, RefusedCreationGivesNoWindow) {
    ASSERT_NE(RegisterTestClass("KxRefusing", RefusingNcCreateProc), 0);
    ASSERT_NE(RegisterTestClass("KxFailing", FailingCreateProc), 0);
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "KxRefusing"), nullptr);
    EXPECT_EQ(CreateTestWindow(0, 0, 8, 8, "KxFailing"), nullptr);
    // A window whose WM_CREATE failed is destroyed the ordinary way.
    std::vector<UINT> messages;
    for (const KxRecordedMessage& recorded : RecordedMessages()) {
        messages.push_back(recorded.message);
    }
    EXPECT_EQ(messages, (std::vector<UINT>{WM_NCCREATE, WM_NCCREATE, WM_CREATE, WM_DESTROY}));
    EXPECT_TRUE(UnregisterClassA("KxRefusing", nullptr));
    EXPECT_TRUE(UnregisterClassA("KxFailing", nullptr));
}

TEST_F(KxWindowTest, ShowWindowReportsThePreviousVisibility) {
    HWND hwnd = CreateTestWindow();
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_TRUE(UpdateWindow(hwnd));
}

TEST(KxSystem, ScreenSizeHandlesAndMessageBoxWithoutADesktop) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetSystemMetrics(42), 0);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects survive
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), GetStockObject(BLACK_BRUSH));

    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "vertex buffer", "Error", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: vertex buffer\n");
}
