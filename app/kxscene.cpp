#include "app/kxscene.h"

namespace {

constexpr uint32_t kClearColor = 0xFF0000;  // pure blue

// Movement keys and the offset component each one moves by one unit.
struct KxMoveKey {
    int virtualKey;
    float KxVector3::*component;
    float step;
};

const KxMoveKey kMoveKeys[] = {
    {'W', &KxVector3::z, 1.0f},
    {'S', &KxVector3::z, -1.0f},
    {'A', &KxVector3::x, -1.0f},
    {'D', &KxVector3::x, 1.0f},
    {'Z', &KxVector3::y, 1.0f},
    {'X', &KxVector3::y, -1.0f},
};

}  // namespace

KxScene::KxScene() : pDevice(nullptr), pTexture(nullptr), pVertexBuffer(nullptr), vertices{}, bOffscreen(false)
{
}

KxScene::~KxScene()
{
    ReleaseContent();
    if (pDevice) {
        delete pDevice;
        pDevice = nullptr;
    }
}

void KxScene::Setup(HWND window)
{
    pDevice = new KxSoftwareRenderDevice();
    pDevice->Create(window, 640, 480);  // the frame is 640x480 whatever the window's size
    offset = KxVector3(10.0f, 5.0f, 15.0f);
    SetupContent();
}

bool KxScene::SetupOffscreen()
{
    pDevice = new KxSoftwareRenderDevice();
    if (!pDevice->CreateOffscreen(640, 480))
        return false;
    bOffscreen = true;
    offset = KxVector3(10.0f, 5.0f, 15.0f);
    SetupContent();
    return true;
}

void KxScene::Frame()
{
    HandleKeys();
    Render();
    EndFrame();
}

void KxScene::HandleKeys()
{
    for (const KxMoveKey& key : kMoveKeys) {
        if (IsKeyDown(key.virtualKey))
            offset.*key.component += key.step;
    }
}

bool KxScene::IsKeyDown(int virtualKey) const
{
    if (bOffscreen)
        return heldKeys.find(char(virtualKey)) != std::string::npos;
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

void KxScene::Render()
{
    DrawFrame();
    pDevice->Present();
}

void KxScene::DrawFrame()
{
    pDevice->Clear(0, nullptr, KXCLEAR_TARGET | KXCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
    pDevice->UpdateFrameRate();
    DrawContent();
}

void KxScene::EndFrame()
{
}
