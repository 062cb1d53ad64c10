// The window system of a build without one (KX_WITH_SDL=OFF): no handle is
// a window, so device contexts and DIB sections live in memory only and a
// block transfer to a window fails. The keyboard is the keys held through
// KxHoldKey, and a message box is a line on stderr.
#include "platform/kxkeyhook.h"
#include "platform/kxwindowsystem.h"

#include <cstdio>

bool KxIsWindow(HWND) {
    return false;
}

BOOL KxBlitToWindow(HWND, const KxDibPixels&, int, int, int, int, int, int) {
    return FALSE;
}

SHORT GetAsyncKeyState(int virtualKey) {
    return KxIsKeyHeld(virtualKey) ? static_cast<SHORT>(0x8000) : SHORT(0);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    return IDOK;
}
