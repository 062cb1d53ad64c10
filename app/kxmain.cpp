// The program's entry point.
#include "app/kxmywinclass.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    KxWinClass* pWindow = new KxMyWinClass();
    pWindow->Register(instance, "SoftwareRenderTest");
    pWindow->Create(1, WS_OVERLAPPEDWINDOW);
    pWindow->Init();
    pWindow->Run();
    delete pWindow;
    return 0;
}
