// Window classes, windows and the small system queries of kxwin32.h over
// SDL2 video. A window has no frame here: its window rectangle is its client
// rectangle, so client-size adjustment computes a zero frame.
#include "platform/kxwin32_sdl.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStyleThickFrame = 0x00040000;
constexpr DWORD kStyleVisible = 0x10000000;
constexpr ATOM kFirstClassAtom = 0xC000;
constexpr int kFallbackScreenWidth = 1024;
constexpr int kFallbackScreenHeight = 768;

struct KxClassEntry {
    std::string name;  // owns the text wndClass.lpszClassName points to
    WNDCLASSA wndClass{};
    ATOM atom = 0;
};

struct KxWindowRegistry {
    std::map<std::string, KxClassEntry> classes;
    std::vector<std::unique_ptr<KxWindow>> windows;
    ATOM nextAtom = kFirstClassAtom;
    int nCursorCount = 0;  // ShowCursor's display counter
    std::string lastError;  // why the last window could not be created
};

KxWindowRegistry& Registry() {
    static KxWindowRegistry registry;
    return registry;
}

// Win32 class names ignore case.
std::string ClassKey(LPCSTR className) {
    std::string key(className);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

KxWindow* FindLiveWindow(HWND hwnd) {
    for (const std::unique_ptr<KxWindow>& pWindow : Registry().windows) {
        if (pWindow.get() == hwnd) {
            return pWindow.get();
        }
    }
    return nullptr;
}

// Drops a window from the registry without telling its window procedure.
void ForgetWindow(HWND hwnd) {
    std::vector<std::unique_ptr<KxWindow>>& windows = Registry().windows;
    auto it = std::find_if(windows.begin(), windows.end(),
                           [hwnd](const std::unique_ptr<KxWindow>& p) { return p.get() == hwnd; });
    if (it == windows.end()) {
        return;
    }
    SDL_DestroyWindow((*it)->pSdlWindow);
    windows.erase(it);
}

bool IsOffscreenVideoDriver(const char* name) {
    return std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Where SDL is not told which video driver to use, it falls back on an
// off-screen one when no display can be reached, and a program would run on
// unseen. So only the drivers that show windows are offered, Wayland only
// where a compositor is named (its library complains on stderr otherwise).
// SDL_VIDEODRIVER, as the tests set it, still picks any driver.
std::string DesktopVideoDrivers() {
    std::string list;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (IsOffscreenVideoDriver(name) || (std::strcmp(name, "wayland") == 0 && !IsSet("WAYLAND_DISPLAY"))) {
            continue;
        }
        list += list.empty() ? name : std::string(",") + name;
    }
    return list;
}

std::string NoDisplayReason() {
    std::string reason = "no display could be opened";
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        return reason + " (DISPLAY and WAYLAND_DISPLAY are not set)";
    }
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        if (IsSet(variable)) {
            reason += std::string(" (") + variable + "=" + std::getenv(variable) + ")";
        }
    }
    return reason;
}

bool IsDesktopVideoDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0 &&
           SDL_GetNumVideoDisplays() > 0;
}

Uint32 MessageBoxIconFlags(UINT type) {
    switch (type & 0xF0) {
    case 0x10: return SDL_MESSAGEBOX_ERROR;    // MB_ICONHAND
    case 0x30: return SDL_MESSAGEBOX_WARNING;  // MB_ICONEXCLAMATION
    default: return SDL_MESSAGEBOX_INFORMATION;
    }
}

char iconHandle;
char cursorHandle;

}  // namespace

bool KxAcquireVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        return true;
    }
    // Ctrl+C must keep ending the process as it does without SDL.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The frame goes straight into the window's own pixels (XShm on X11),
    // as a GDI block transfer does, rather than through an OpenGL texture
    // (a software rasteriser with its own threads where there is no GPU).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const bool bDriverChosen = IsSet("SDL_VIDEODRIVER");
    if (!bDriverChosen) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, DesktopVideoDrivers().c_str());
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        return true;
    }
    Registry().lastError = bDriverChosen ? std::string("SDL video: ") + SDL_GetError() : NoDisplayReason();
    return false;
}

std::string KxWindowErrorText() {
    return Registry().lastError;
}

void KxReleaseVideoIfIdle() {
    const KxWindowRegistry& registry = Registry();
    if (!registry.windows.empty() || !registry.classes.empty() || SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
        SDL_Quit();
    }
}

bool KxIsWindow(HWND hwnd) {
    return hwnd && FindLiveWindow(hwnd) != nullptr;
}

HWND KxFindWindowBySdlId(uint32_t nSdlId) {
    for (const std::unique_ptr<KxWindow>& pWindow : Registry().windows) {
        if (pWindow->nSdlId == nSdlId) {
            return pWindow.get();
        }
    }
    return nullptr;
}

std::vector<HWND> KxListWindows() {
    std::vector<HWND> list;
    for (const std::unique_ptr<KxWindow>& pWindow : Registry().windows) {
        list.push_back(pWindow.get());
    }
    return list;
}

SDL_Window* KxGetSdlWindow(HWND hwnd) {
    KxWindow* pWindow = hwnd ? FindLiveWindow(hwnd) : nullptr;
    return pWindow ? pWindow->pSdlWindow : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* wndClass) {
    if (!wndClass || !wndClass->lpfnWndProc || !wndClass->lpszClassName) {
        return 0;
    }
    KxWindowRegistry& registry = Registry();
    auto [it, bInserted] = registry.classes.try_emplace(ClassKey(wndClass->lpszClassName));
    if (!bInserted) {
        return 0;  // already registered, as Win32
    }
    KxClassEntry& entry = it->second;
    entry.name = wndClass->lpszClassName;
    entry.wndClass = *wndClass;
    entry.wndClass.lpszClassName = entry.name.c_str();
    entry.wndClass.lpszMenuName = nullptr;  // no menus here; the caller's text is not kept
    entry.atom = registry.nextAtom;
    registry.nextAtom = registry.nextAtom == 0xFFFF ? kFirstClassAtom : static_cast<ATOM>(registry.nextAtom + 1);
    return entry.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!className) {
        return FALSE;
    }
    KxWindowRegistry& registry = Registry();
    auto it = registry.classes.find(ClassKey(className));
    if (it == registry.classes.end()) {
        return FALSE;
    }
    for (const std::unique_ptr<KxWindow>& pWindow : registry.windows) {
        if (pWindow->classKey == it->first) {
            return FALSE;  // Win32 keeps a class that still has windows
        }
    }
    registry.classes.erase(it);
    KxReleaseVideoIfIdle();
    return TRUE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style,
                     int x, int y, int width, int height,
                     HWND, HMENU, HINSTANCE, LPVOID) {
    if (!className) {
        return nullptr;
    }
    KxWindowRegistry& registry = Registry();
    auto it = registry.classes.find(ClassKey(className));
    if (it == registry.classes.end()) {
        registry.lastError = std::string("no window class \"") + className + "\"";
        return nullptr;
    }
    if (!KxAcquireVideo()) {
        return nullptr;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (style & kStyleThickFrame) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    SDL_Window* pSdlWindow = SDL_CreateWindow(windowName ? windowName : "", x, y,
                                              std::max(width, 1), std::max(height, 1), flags);
    if (!pSdlWindow) {
        registry.lastError = std::string("SDL cannot create the window: ") + SDL_GetError();
        KxReleaseVideoIfIdle();
        return nullptr;
    }
    auto pWindow = std::make_unique<KxWindow>();
    pWindow->pSdlWindow = pSdlWindow;
    pWindow->nSdlId = SDL_GetWindowID(pSdlWindow);
    pWindow->pfnWndProc = it->second.wndClass.lpfnWndProc;
    pWindow->classKey = it->first;
    HWND hwnd = pWindow.get();
    registry.windows.push_back(std::move(pWindow));

    // The procedure may destroy the window itself while handling these.
    registry.lastError = "the window procedure refused the window";
    WNDPROC pfnWndProc = hwnd->pfnWndProc;
    if (pfnWndProc(hwnd, WM_NCCREATE, 0, 0) == FALSE) {
        ForgetWindow(hwnd);
        KxReleaseVideoIfIdle();
        return nullptr;
    }
    if (!KxIsWindow(hwnd)) {
        return nullptr;
    }
    if (pfnWndProc(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!KxIsWindow(hwnd)) {
        return nullptr;
    }
    registry.lastError.clear();
    if (style & kStyleVisible) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    KxWindow* pWindow = hwnd ? FindLiveWindow(hwnd) : nullptr;
    if (!pWindow || pWindow->bDestroying) {
        return FALSE;
    }
    pWindow->bDestroying = true;
    SDL_HideWindow(pWindow->pSdlWindow);
    pWindow->pfnWndProc(hwnd, WM_DESTROY, 0, 0);
    KxDiscardMessages(hwnd);
    KxReleaseWindowDcs(hwnd);
    ForgetWindow(hwnd);
    KxReleaseVideoIfIdle();
    return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    SDL_Window* pSdlWindow = KxGetSdlWindow(hwnd);
    if (!pSdlWindow) {
        return FALSE;
    }
    SDL_SetWindowTitle(pSdlWindow, text ? text : "");
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int showCommand) {
    SDL_Window* pSdlWindow = KxGetSdlWindow(hwnd);
    if (!pSdlWindow) {
        return FALSE;
    }
    BOOL bWasVisible = (SDL_GetWindowFlags(pSdlWindow) & SDL_WINDOW_SHOWN) ? TRUE : FALSE;
    if (showCommand == SW_HIDE) {
        SDL_HideWindow(pSdlWindow);
    } else {
        SDL_ShowWindow(pSdlWindow);
    }
    return bWasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
    // Nothing is painted through WM_PAINT here; the frame arrives by BitBlt.
    return KxIsWindow(hwnd) ? TRUE : FALSE;
}

int ShowCursor(BOOL show) {
    KxWindowRegistry& registry = Registry();
    registry.nCursorCount += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        SDL_ShowCursor(registry.nCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
    return registry.nCursorCount;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    SDL_Window* pSdlWindow = KxGetSdlWindow(hwnd);
    if (!pSdlWindow || !rect) {
        return FALSE;
    }
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(pSdlWindow, &width, &height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    SDL_Window* pSdlWindow = KxGetSdlWindow(hwnd);
    if (!pSdlWindow || !rect) {
        return FALSE;
    }
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    SDL_GetWindowPosition(pSdlWindow, &x, &y);
    SDL_GetWindowSize(pSdlWindow, &width, &height);
    *rect = RECT{x, y, x + width, y + height};
    return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    SDL_Window* pSdlWindow = KxGetSdlWindow(hwnd);
    if (!pSdlWindow) {
        return FALSE;
    }
    if (!(flags & SWP_NOMOVE)) {
        SDL_SetWindowPosition(pSdlWindow, x, y);
    }
    if (!(flags & SWP_NOSIZE)) {
        SDL_SetWindowSize(pSdlWindow, std::max(cx, 1), std::max(cy, 1));
    }
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (index != SM_CXSCREEN && index != SM_CYSCREEN) {
        return 0;
    }
    SDL_DisplayMode mode{};
    bool bKnown = KxAcquireVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0;
    KxReleaseVideoIfIdle();
    if (!bKnown) {
        return index == SM_CXSCREEN ? kFallbackScreenWidth : kFallbackScreenHeight;
    }
    return index == SM_CXSCREEN ? mode.w : mode.h;
}

// Icons and cursors have no use here beyond being non-null handles.
HICON LoadIconA(HINSTANCE, LPCSTR) {
    return &iconHandle;
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
    return &cursorHandle;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const char* pText = text ? text : "";
    const char* pCaption = caption ? caption : "Error";
    bool bShown = false;
    if (KxAcquireVideo() && IsDesktopVideoDriver()) {
        bShown = SDL_ShowSimpleMessageBox(MessageBoxIconFlags(type), pCaption, pText,
                                          KxGetSdlWindow(owner)) == 0;
    }
    KxReleaseVideoIfIdle();
    if (!bShown) {
        std::fprintf(stderr, "%s: %s\n", pCaption, pText);
    }
    return IDOK;
}

#if defined(__SANITIZE_ADDRESS__)
#define KX_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define KX_LEAK_CHECKED 1
#endif
#endif

#ifdef KX_LEAK_CHECKED
// On X11, starting SDL video connects to D-Bus, and libdbus keeps a buffer
// from that connection that SDL_Quit never frees. It is not this program's
// memory, so the leak checker ignores it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

// The list of suppressions used would otherwise follow every run on stderr.
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif
