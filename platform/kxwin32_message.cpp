// The thread's message queue and the keyboard of kxwin32.h over SDL2 events.
// SDL events are turned into posted messages whenever the queue is read.
#include "platform/kxkeyhook.h"
#include "platform/kxwin32_sdl.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <deque>

namespace {

constexpr int kVirtualKeyCount = 256;
constexpr int kFunctionKeyCount = 12;
constexpr Uint32 kWaitSliceMs = 100;
constexpr LPARAM kKeyRepeatBit = LPARAM(1) << 30;
constexpr LPARAM kKeyReleaseBit = LPARAM(1) << 31;

struct KxInputState {
    std::deque<MSG> messages;
};

KxInputState& Input() {
    static KxInputState state;
    return state;
}

// HWND -1 asks for thread messages only, as Win32.
HWND ThreadMessagesOnly() {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
}

struct KxKeyPair {
    int virtualKey;
    SDL_Scancode scancode;
};

// Keys other than letters, digits and F-keys, which are mapped by range.
constexpr KxKeyPair kNamedKeys[] = {
    {VK_SHIFT, SDL_SCANCODE_LSHIFT}, {VK_SHIFT, SDL_SCANCODE_RSHIFT},
    {VK_ESCAPE, SDL_SCANCODE_ESCAPE}, {VK_SPACE, SDL_SCANCODE_SPACE},
    {VK_LEFT, SDL_SCANCODE_LEFT}, {VK_UP, SDL_SCANCODE_UP},
    {VK_RIGHT, SDL_SCANCODE_RIGHT}, {VK_DOWN, SDL_SCANCODE_DOWN},
};

// Scancodes name physical keys, so Shift and Caps Lock do not change which
// key acts. SDL numbers the digit row 1..9 then 0.
int VirtualKeyFromScancode(SDL_Scancode scancode) {
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
        return 'A' + (scancode - SDL_SCANCODE_A);
    }
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
        return '1' + (scancode - SDL_SCANCODE_1);
    }
    if (scancode == SDL_SCANCODE_0) {
        return '0';
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
        return VK_F1 + (scancode - SDL_SCANCODE_F1);
    }
    for (const KxKeyPair& pair : kNamedKeys) {
        if (pair.scancode == scancode) {
            return pair.virtualKey;
        }
    }
    return 0;
}

bool IsScancodeDown(SDL_Scancode scancode) {
    int nKeys = 0;
    const Uint8* pState = SDL_GetKeyboardState(&nKeys);
    return pState && scancode < nKeys && pState[scancode] != 0;
}

bool IsKeyboardKeyDown(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        return IsScancodeDown(static_cast<SDL_Scancode>(SDL_SCANCODE_A + (virtualKey - 'A')));
    }
    if (virtualKey >= '1' && virtualKey <= '9') {
        return IsScancodeDown(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (virtualKey - '1')));
    }
    if (virtualKey == '0') {
        return IsScancodeDown(SDL_SCANCODE_0);
    }
    if (virtualKey >= VK_F1 && virtualKey < VK_F1 + kFunctionKeyCount) {
        return IsScancodeDown(static_cast<SDL_Scancode>(SDL_SCANCODE_F1 + (virtualKey - VK_F1)));
    }
    for (const KxKeyPair& pair : kNamedKeys) {
        if (pair.virtualKey == virtualKey && IsScancodeDown(pair.scancode)) {
            return true;
        }
    }
    return false;
}

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Input().messages.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
}

// SDL may report one close request twice (window close, then quit).
void PostClose(HWND hwnd) {
    if (!hwnd) {
        return;
    }
    const std::deque<MSG>& messages = Input().messages;
    bool bQueued = std::any_of(messages.begin(), messages.end(), [hwnd](const MSG& msg) {
        return msg.hwnd == hwnd && msg.message == WM_CLOSE;
    });
    if (!bQueued) {
        Post(hwnd, WM_CLOSE, 0, 0);
    }
}

// lParam as Win32 builds it: repeat count 1, bit 30 the previous state,
// bit 31 set on release. The OEM scan code (bits 16-23) is not known here.
void PostKey(const SDL_KeyboardEvent& event) {
    HWND hwnd = KxFindWindowBySdlId(event.windowID);
    int virtualKey = VirtualKeyFromScancode(event.keysym.scancode);
    if (!hwnd || virtualKey == 0) {
        return;
    }
    bool bDown = event.type == SDL_KEYDOWN;
    LPARAM lParam = 1;
    if (!bDown) {
        lParam |= kKeyRepeatBit | kKeyReleaseBit;
    } else if (event.repeat) {
        lParam |= kKeyRepeatBit;
    }
    Post(hwnd, bDown ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(virtualKey), lParam);
}

void TranslateEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            PostClose(KxFindWindowBySdlId(event.window.windowID));
        }
        break;
    case SDL_QUIT:
        for (HWND hwnd : KxListWindows()) {
            PostClose(hwnd);
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        PostKey(event.key);
        break;
    default:
        break;
    }
}

void PumpEvents() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        TranslateEvent(event);
    }
}

void WaitForEvents() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        SDL_WaitEventTimeout(nullptr, static_cast<int>(kWaitSliceMs));
    } else {
        SDL_Delay(kWaitSliceMs);
    }
}

bool IsValidFilter(HWND hwnd) {
    return !hwnd || hwnd == ThreadMessagesOnly() || KxIsWindow(hwnd);
}

bool Matches(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd == ThreadMessagesOnly() ? msg.hwnd != nullptr : (hwnd && msg.hwnd != hwnd)) {
        return false;
    }
    return (filterMin == 0 && filterMax == 0) || (msg.message >= filterMin && msg.message <= filterMax);
}

std::deque<MSG>::iterator FindMessage(HWND hwnd, UINT filterMin, UINT filterMax) {
    std::deque<MSG>& messages = Input().messages;
    return std::find_if(messages.begin(), messages.end(), [&](const MSG& msg) {
        return Matches(msg, hwnd, filterMin, filterMax);
    });
}

}  // namespace

void KxDiscardMessages(HWND hwnd) {
    std::erase_if(Input().messages, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage) {
    if (!msg || !IsValidFilter(hwnd)) {
        return FALSE;
    }
    PumpEvents();
    auto it = FindMessage(hwnd, filterMin, filterMax);
    if (it == Input().messages.end()) {
        return FALSE;
    }
    *msg = *it;
    if (removeMessage & PM_REMOVE) {
        Input().messages.erase(it);
    }
    return TRUE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    // An invalid window would block forever; Win32 reports -1.
    if (!msg || !IsValidFilter(hwnd)) {
        return -1;
    }
    for (;;) {
        PumpEvents();
        auto it = FindMessage(hwnd, filterMin, filterMax);
        if (it != Input().messages.end()) {
            *msg = *it;
            Input().messages.erase(it);
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        WaitForEvents();
    }
}

BOOL TranslateMessage(const MSG* msg) {
    // No WM_CHAR is generated; Win32 still answers TRUE for key messages.
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !KxIsWindow(msg->hwnd)) {
        return 0;
    }
    return msg->hwnd->pfnWndProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_NCCREATE:
        return TRUE;
    default:
        return 0;
    }
}

void PostQuitMessage(int exitCode) {
    Post(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey >= kVirtualKeyCount) {
        return 0;
    }
    bool bDown = KxIsKeyHeld(virtualKey);
    if (!bDown && SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        // SDL's key state follows its events: take in whatever has arrived.
        SDL_PumpEvents();
        bDown = IsKeyboardKeyDown(virtualKey);
    }
    return bDown ? static_cast<SHORT>(0x8000) : SHORT(0);
}
