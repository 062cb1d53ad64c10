// kxwmclose WINDOW-ID: asks an X11 window to close the way a window manager's
// close button does, with a WM_DELETE_WINDOW client message. The id is
// decimal or 0x-prefixed hexadecimal (as xdotool and xwininfo print it).
#include <X11/Xlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

bool bXError = false;

int RecordXError(Display*, XErrorEvent*) {
    bXError = true;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Base 0 takes both spellings; a leading digit keeps signs out.
    char* pEnd = nullptr;
    const Window window = argc == 2 && std::isdigit(static_cast<unsigned char>(argv[1][0])) ? std::strtoul(argv[1], &pEnd, 0) : 0;
    if (window == 0 || *pEnd != '\0') {
        std::fprintf(stderr, "usage: kxwmclose WINDOW-ID   (decimal or 0x hexadecimal)\n");
        return 2;
    }
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        std::fprintf(stderr, "kxwmclose: cannot open the X display\n");
        return 1;
    }
    XSetErrorHandler(RecordXError);

    XEvent event{};
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
