// kxwmclose WINDOW-ID: asks an X11 window to close the way a window manager's
// close button does, with a WM_DELETE_WINDOW client message. The id is
// decimal or 0x-prefixed hexadecimal (as xdotool and xwininfo print it).
#include <X11/Xlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool bXError = false;

int RecordXError(Display*, XErrorEvent*) {
    bXError = true;
    return 0;
}

bool ParseWindowId(const char* text, Window* pWindow) {
    const bool bHex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* pDigits = bHex ? text + 2 : text;
    if (*pDigits == '\0' || *pDigits == '-' || *pDigits == '+')
        return false;
    char* pEnd = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(pDigits, &pEnd, bHex ? 16 : 10);
    if (errno != 0 || *pEnd != '\0' || value == 0)
        return false;
    *pWindow = static_cast<Window>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Window window = 0;
    if (argc != 2 || !ParseWindowId(argv[1], &window)) {
        std::fprintf(stderr, "usage: kxwmclose WINDOW-ID   (decimal or 0x hexadecimal)\n");
        return 2;
    }
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        std::fprintf(stderr, "kxwmclose: cannot open the X display\n");
        return 1;
    }
    XSetErrorHandler(RecordXError);

    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(pDisplay, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(pDisplay, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(pDisplay, window, False, NoEventMask, &event);
    XSync(pDisplay, False);
    XCloseDisplay(pDisplay);

    if (bXError) {
        std::fprintf(stderr, "kxwmclose: no window %s\n", argv[1]);
        return 1;
    }
    return 0;
}
