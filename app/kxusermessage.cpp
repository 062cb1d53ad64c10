#include "app/kxusermessage.h"

#include <cstdio>

#include "platform/kxwin32.h"

namespace {

#ifdef _WIN32
bool HasStandardHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}
#endif

}  // namespace

void KxTellUser(const std::string& text, bool bError)
{
    std::FILE* stream = bError ? stderr : stdout;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
#ifdef _WIN32
    if (!HasStandardHandle(bError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE))
        MessageBoxA(nullptr, text.c_str(), "SoftwareRenderTest", MB_OK | (bError ? MB_ICONERROR : MB_ICONINFORMATION));
#endif
}
