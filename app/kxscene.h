// The application's content object: owns the device and everything created
// on it, polls the keys and brackets each frame.
#pragma once

#include <string>

#include "app/kxvertex.h"
#include "math/kxvector3.h"
#include "platform/kxwin32.h"
#include "render/kxsoftwarerenderdevice.h"

class KxScene {
public:
    static constexpr int kPyramidVertexCount = 24;

    KxScene();
    ~KxScene();
    KxScene(const KxScene&) = delete;
    KxScene& operator=(const KxScene&) = delete;

    void Setup(HWND window);
    // The same scene drawn into memory only: no window, no video system,
    // and no keyboard (only the keys given to HoldKeys act), so its frames
    // depend on nothing outside the program. False when the frame buffers
    // cannot be had.
    bool SetupOffscreen();
    // Upper-case letters of WSADZX that read as held down in every later
    // frame of an off-screen scene.
    void HoldKeys(const std::string& keys) { heldKeys = keys; }
    void Frame();
    void HandleKeys();
    void Render();
    void EndFrame();
    // Everything Render does before presenting: clear, count, draw.
    void DrawFrame();

    KxSoftwareRenderDevice* GetDevice() const { return pDevice; }
    const KxVector3& GetOffset() const { return offset; }
    KxTexture* GetTexture() const { return pTexture; }
    KxVertexBuffer* GetVertexBuffer() const { return pVertexBuffer; }

    // The pyramid's rotation accumulator, in degrees.
    float GetAngle() const { return fAngle; }
    void SetAngle(float angle) { fAngle = angle; }

private:
    // The demo pyramid (kxpyramid.cpp).
    void SetupContent();
    void DrawContent();
    void ReleaseContent();
    bool IsKeyDown(int virtualKey) const;

    KxSoftwareRenderDevice* pDevice;
    KxTexture* pTexture;
    KxVertexBuffer* pVertexBuffer;
    KxVertex vertices[kPyramidVertexCount];
    KxVector3 offset;
    // The pyramid turns in whole degrees, one every second frame.
    float fAngle = 1.0f;
    bool bOffscreen;
    std::string heldKeys;
};
