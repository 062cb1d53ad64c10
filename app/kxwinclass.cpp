#include "app/kxwinclass.h"

#include <cstring>

KxWinClass* KxWinClass::currentWindow = nullptr;

void KxClientSizeForMode(int mode, int screenWidth, int screenHeight, int* width, int* height)
{
    switch (mode) {
    case 1:
        *width = 640;
        *height = 480;
        break;
    case 2:
        *width = 800;
        *height = 600;
        break;
    case 4:
        *width = 1024;
        *height = 768;
        break;
    default:
        *width = screenWidth;
        *height = screenHeight;
        break;
    }
}

int KxCentredOrigin(int screenExtent, int size)
{
    return screenExtent / 2 - size / 2;
}

LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!KxWinClass::currentWindow)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    return KxWinClass::currentWindow->WndProc(hwnd, message, wParam, lParam);
}

KxWinClass::KxWinClass()
    : hWnd(nullptr), hInstance(nullptr), className(nullptr), nWidth(0), nHeight(0), bRunning(false)
{
    std::memset(&msg, 0, sizeof(msg));
    std::memset(&wndClass, 0, sizeof(wndClass));
    currentWindow = this;
}

KxWinClass::~KxWinClass()
{
    UnregisterClassA(className, hInstance);
    if (currentWindow == this)
        currentWindow = nullptr;  // no message may reach a destroyed object
}

bool KxWinClass::Register(HINSTANCE instance, const char* name)
{
    hInstance = instance;
    className = name;
    wndClass.style = CS_HREDRAW | CS_VREDRAW;
    wndClass.lpfnWndProc = StaticWndProc;
    wndClass.cbClsExtra = 0;
    wndClass.cbWndExtra = 0;
    wndClass.hInstance = hInstance;
    wndClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wndClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wndClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wndClass.lpszMenuName = nullptr;
    wndClass.lpszClassName = className;
    RegisterClassA(&wndClass);
    return true;
}

bool KxWinClass::Create(int mode, DWORD style)
{
    KxClientSizeForMode(mode, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), &nWidth, &nHeight);
    const int x = KxCentredOrigin(GetSystemMetrics(SM_CXSCREEN), nWidth);
    const int y = KxCentredOrigin(GetSystemMetrics(SM_CYSCREEN), nHeight);

    // The size given here is the client size; AdjustClientSize adds the frame.
    hWnd = CreateWindowExA(0, className, className, style, x, y, nWidth, nHeight,
                           nullptr, nullptr, hInstance, nullptr);
    if (!hWnd)
        return false;

    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    ShowCursor(TRUE);
    AdjustClientSize(nWidth, nHeight);
    bRunning = true;
    return true;
}

void KxWinClass::AdjustClientSize(int width, int height)
{
    RECT client, window;
    GetClientRect(hWnd, &client);
    GetWindowRect(hWnd, &window);
    const int frameX = (window.right - window.left) - (client.right - client.left);
    const int frameY = (window.bottom - window.top) - (client.bottom - client.top);
    SetWindowPos(hWnd, nullptr, 0, 0, width + frameX, height + frameY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool KxWinClass::Init()
{
    return true;
}

bool KxWinClass::Run()
{
    while (bRunning) {
        if (PeekMessageA(&msg, hWnd, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, hWnd, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return false;
}

bool KxWinClass::Hook1()
{
    return true;
}

bool KxWinClass::Hook2()
{
    return true;
}

LRESULT KxWinClass::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        bRunning = false;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
