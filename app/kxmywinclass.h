// The application window: owns the demo scene and renders a frame of it
// whenever the message queue is empty, at most as often as the options allow.
#pragma once

#include <string>

#include "app/kxframepacer.h"
#include "app/kxprogramoptions.h"
#include "app/kxscene.h"
#include "app/kxwinclass.h"

class KxMyWinClass : public KxWinClass {
public:
    explicit KxMyWinClass(const KxProgramOptions& options = KxProgramOptions());
    ~KxMyWinClass() override;

    bool Init() override;
    bool Run() override;

    KxScene* GetScene() const { return pScene; }

private:
    void RenderWhenDue();
    void ShowFrameRate();

    KxScene* pScene;
    KxFramePacer pacer;
    bool bShowFps;
    int nThreads;
    std::string shownFps;  // the frame-rate text in the title
};
