#include "tests/platform/kxtestwindow.h"

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

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST_F(KxWindowTest, CreationMessagesReachTheProcedureInOrder) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(RecordedMessages().size(), 2u);
    EXPECT_EQ(RecordedMessages()[0].message, UINT(WM_NCCREATE));
    EXPECT_EQ(RecordedMessages()[1].message, UINT(WM_CREATE));
    EXPECT_EQ(RecordedMessages()[0].hwnd, hwnd);
    EXPECT_EQ(RecordedMessages()[1].hwnd, hwnd);
}

TEST_F(KxWindowTest, WindowRectEqualsClientRectAtThePosition) {
    HWND hwnd = CreateTestWindow(10, 20, 64, 48);
    ASSERT_NE(hwnd, nullptr);
    RECT client{};
    RECT window{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    ASSERT_TRUE(GetWindowRect(hwnd, &window));
    EXPECT_TRUE(SameRect(client, RECT{0, 0, 64, 48}));
    EXPECT_TRUE(SameRect(window, RECT{10, 20, 74, 68}));
}

TEST_F(KxWindowTest, SetWindowPosHonoursNoMoveAndNoSize) {
    HWND hwnd = CreateTestWindow(10, 20, 64, 48);
    ASSERT_NE(hwnd, nullptr);
    RECT client{};
    RECT window{};

    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &window);
    EXPECT_TRUE(SameRect(client, RECT{0, 0, 100, 80}));
    EXPECT_TRUE(SameRect(window, RECT{10, 20, 110, 100}));

    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 30, 40, 1, 1, SWP_NOSIZE | SWP_NOZORDER));
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &window);
    EXPECT_TRUE(SameRect(client, RECT{0, 0, 100, 80}));
    EXPECT_TRUE(SameRect(window, RECT{30, 40, 130, 120}));
}

TEST_F(KxWindowTest, ClassesAreFoundByNameIgnoringCase) {
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr), nullptr);
    HWND hwnd = CreateWindowExA(0, "kxtestclass", "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    windows.push_back(hwnd);
    WNDCLASSA again{};
    again.lpfnWndProc = RecordingWndProc;
    again.lpszClassName = "KXTESTCLASS";
    EXPECT_EQ(RegisterClassA(&again), 0);
}

TEST_F(KxWindowTest, UnregisterWaitsUntilTheLastWindowIsGone) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));
    ASSERT_TRUE(DestroyWindow(hwnd));
    ASSERT_TRUE(UnregisterClassA(kClassName, nullptr));
    EXPECT_FALSE(UnregisterClassA(kClassName, nullptr));
    WNDCLASSA wndClass{};
    wndClass.lpfnWndProc = RecordingWndProc;
    wndClass.lpszClassName = kClassName;
    EXPECT_NE(RegisterClassA(&wndClass), 0);  // for TearDown
}

TEST_F(KxWindowTest, DefaultCloseDestroysTheWindowOnce) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
    RECT rect{};
    EXPECT_FALSE(GetClientRect(hwnd, &rect));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_EQ(CountRecorded(hwnd, WM_DESTROY), 1);
}

TEST_F(KxWindowTest, RefusedCreationGivesNoWindow) {
    WNDCLASSA refusing{};
    refusing.lpfnWndProc = RefusingNcCreateProc;
    refusing.lpszClassName = "KxRefusing";
    WNDCLASSA failing{};
    failing.lpfnWndProc = FailingCreateProc;
    failing.lpszClassName = "KxFailing";
    ASSERT_NE(RegisterClassA(&refusing), 0);
    ASSERT_NE(RegisterClassA(&failing), 0);

    EXPECT_EQ(CreateWindowExA(0, "KxRefusing", "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateWindowExA(0, "KxFailing", "", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr), nullptr);
    // A window whose WM_CREATE failed is destroyed the ordinary way.
    ASSERT_EQ(RecordedMessages().size(), 4u);
    EXPECT_EQ(RecordedMessages()[0].message, UINT(WM_NCCREATE));
    EXPECT_EQ(RecordedMessages()[1].message, UINT(WM_NCCREATE));
    EXPECT_EQ(RecordedMessages()[2].message, UINT(WM_CREATE));
    EXPECT_EQ(RecordedMessages()[3].message, UINT(WM_DESTROY));

    EXPECT_TRUE(UnregisterClassA("KxRefusing", nullptr));
    EXPECT_TRUE(UnregisterClassA("KxFailing", nullptr));
}

TEST_F(KxWindowTest, ShowWindowReportsThePreviousVisibility) {
    HWND hwnd = CreateTestWindow();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_FALSE(ShowWindow(hwnd, SW_HIDE));
    EXPECT_TRUE(UpdateWindow(hwnd));
}

TEST(KxSystem, ScreenSizeComesFromTheDummyDisplay) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetSystemMetrics(42), 0);
}

TEST(KxSystem, ResourceHandlesAreStableAndNonNull) {
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(GetStockObject(BLACK_BRUSH), GetStockObject(BLACK_BRUSH));
}

TEST(KxSystem, MessageBoxWithoutADesktopWritesToStderr) {
    testing::internal::CaptureStderr();
    int result = MessageBoxA(nullptr, "vertex buffer", "Error", MB_OK);
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(text, "Error: vertex buffer\n");
}
