// The application window: owns the demo scene and renders a frame of it
// whenever the message queue is empty.
#pragma once

#include "app/kxscene.h"
#include "app/kxwinclass.h"

class KxMyWinClass : public KxWinClass {
public:
    KxMyWinClass();
    ~KxMyWinClass() override;

    bool Init() override;
    bool Run() override;

    KxScene* GetScene() const { return pScene; }

private:
    KxScene* pScene;
};
