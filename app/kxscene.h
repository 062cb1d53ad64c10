// The application's content object: owns the device and everything created
// on it, polls the keys and brackets each frame.
#pragma once

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

    // The demo's process-wide rotation accumulator, in degrees.
    static float GetAngle();
    static void SetAngle(float angle);

private:
    // The demo pyramid (kxpyramid.cpp).
    void SetupContent();
    void DrawContent();
    void ReleaseContent();

    KxSoftwareRenderDevice* pDevice;
    KxTexture* pTexture;
    KxVertexBuffer* pVertexBuffer;
    KxVertex vertices[kPyramidVertexCount];
    KxVector3 offset;
};
