// Why the last window could not be created, in words for the person running
// the program: the system's message on Windows, the video layer's reason
// (such as no display) elsewhere.
#pragma once

#include <string>

#include "platform/kxwin32.h"

#ifdef _WIN32

inline std::string KxWindowErrorText()
{
    const DWORD error = GetLastError();
    char text[256] = {};
    if (error == 0)
        return "the system gave no reason";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                        sizeof(text), nullptr))
        return "error " + std::to_string(error);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();  // one line, as the caller prints it
    return reason;
}

#else

std::string KxWindowErrorText();

#endif
