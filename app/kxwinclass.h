// A small reusable window: registers a class, creates and sizes one
// top-level window, runs a message loop and handles messages virtually.
#pragma once

#include "platform/kxwin32.h"

// Client size for a creation mode: 1 is 640x480, 2 is 800x600, 4 is
// 1024x768, anything else the whole screen.
void KxClientSizeForMode(int mode, int screenWidth, int screenHeight, int* width, int* height);

// Left (or top) coordinate that centres a size on a screen extent; both
// halves truncate toward zero before the subtraction.
int KxCentredOrigin(int screenExtent, int size);

LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class KxWinClass {
public:
    KxWinClass();
    virtual ~KxWinClass();
    KxWinClass(const KxWinClass&) = delete;
    KxWinClass& operator=(const KxWinClass&) = delete;

    bool Register(HINSTANCE instance, const char* name);
    bool Create(int mode, DWORD style);
    void AdjustClientSize(int width, int height);

    // The virtual table, in slot order after the destructor.
    virtual bool Init();
    virtual bool Run();
    virtual bool Hook1();
    virtual bool Hook2();
    virtual LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND GetWindow() const { return hWnd; }
    bool IsRunning() const { return bRunning; }
    int GetClientWidth() const { return nWidth; }
    int GetClientHeight() const { return nHeight; }

    // The most recently constructed window object: the link from the window
    // procedure Windows calls to the object.
    static KxWinClass* currentWindow;

protected:
    HWND hWnd;
    HINSTANCE hInstance;
    MSG msg;
    WNDCLASSA wndClass;
    const char* className;
    int nWidth;
    int nHeight;
    bool bRunning;
};
