// The program's entry point.
#include <string>

#include "app/kxmywinclass.h"
#include "app/kxprogramoptions.h"
#include "app/kxusermessage.h"
#include "platform/kxwindowerror.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    KxProgramOptions options;
    std::string error;
    if (!KxParseProgramOptions(commandLine, &options, &error)) {
        KxTellUser("SoftwareRenderTest: " + error + "\n" + KxProgramUsage(), true);
        return 2;
    }
    if (options.bHelp) {
        KxTellUser(KxProgramUsage(), false);
        return 0;
    }

    KxWinClass* pWindow = new KxMyWinClass(options);
    pWindow->Register(instance, "SoftwareRenderTest");
    if (!pWindow->Create(1, WS_OVERLAPPEDWINDOW)) {
        // Read before anything else can change the reason.
        const std::string reason = KxWindowErrorText();
        delete pWindow;
        KxTellUser("SoftwareRenderTest: cannot open the window: " + reason + "\n", true);
        return 1;
    }
    pWindow->Init();
    pWindow->Run();
    delete pWindow;
    return 0;
}
