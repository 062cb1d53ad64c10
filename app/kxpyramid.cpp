// The demo content: one textured, lit square pyramid in a vertex buffer,
// drawn twice per frame, spinning about x, the second copy moved by the keys.
#include <cstdio>
#include <cstring>

#include "app/kxscene.h"
#include "math/kxmatrix4.h"

namespace {

constexpr uint32_t kFormat = 274;  // position, normal, one texture coordinate set
constexpr uint32_t kStride = 32;
constexpr const char* kTextureFile = "SW_TEST.bmp";

// Four sides, then the base as four triangles around its centre.
const KxVertex kPyramid[KxScene::kPyramidVertexCount] = {
    {{-0.7767f, 0.323f, 10.005f}, {0.0f, -0.8944f, 0.4472f}, 0.5f, 1.0f},
    {{-5.7767f, -4.677f, 0.005f}, {0.0f, -0.8944f, 0.4472f}, 0.0f, 0.0f},
    {{4.2233f, -4.677f, 0.005f}, {0.0f, -0.8944f, 0.4472f}, 1.0f, 0.0f},
    {{-0.7767f, 0.323f, 10.005f}, {0.8944f, 0.0f, 0.4472f}, 0.5f, 1.0f},
    {{4.2233f, -4.677f, 0.005f}, {0.8944f, 0.0f, 0.4472f}, 0.0f, 0.0f},
    {{4.2233f, 5.323f, 0.005f}, {0.8944f, 0.0f, 0.4472f}, 1.0f, 0.0f},
    {{-0.7767f, 0.323f, 10.005f}, {0.0f, 0.8944f, 0.4472f}, 0.5f, 1.0f},
    {{4.2233f, 5.323f, 0.005f}, {0.0f, 0.8944f, 0.4472f}, 0.0f, 0.0f},
    {{-5.7767f, 5.323f, 0.005f}, {0.0f, 0.8944f, 0.4472f}, 1.0f, 0.0f},
    {{-0.7767f, 0.323f, 10.005f}, {-0.8944f, 0.0f, 0.4472f}, 0.5f, 1.0f},
    {{-5.7767f, 5.323f, 0.005f}, {-0.8944f, 0.0f, 0.4472f}, 0.0f, 0.0f},
    {{-5.7767f, -4.677f, 0.005f}, {-0.8944f, 0.0f, 0.4472f}, 1.0f, 0.0f},
    {{-5.7767f, -4.677f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.0f, 1.0f},
    {{-0.7767f, 0.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.5f, 0.5f},
    {{4.2233f, -4.677f, 0.005f}, {0.0f, 0.0f, -1.0f}, 1.0f, 1.0f},
    {{4.2233f, -4.677f, 0.005f}, {0.0f, 0.0f, -1.0f}, 1.0f, 1.0f},
    {{-0.7767f, 0.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.5f, 0.5f},
    {{4.2233f, 5.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 1.0f, 0.0f},
    {{4.2233f, 5.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 1.0f, 0.0f},
    {{-0.7767f, 0.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.5f, 0.5f},
    {{-5.7767f, 5.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.0f, 0.0f},
    {{-5.7767f, 5.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.0f, 0.0f},
    {{-0.7767f, 0.323f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.5f, 0.5f},
    {{-5.7767f, -4.677f, 0.005f}, {0.0f, 0.0f, -1.0f}, 0.0f, 1.0f},
};

}  // namespace

void KxScene::SetupContent()
{
    std::memcpy(vertices, kPyramid, sizeof(vertices));

    if (!pDevice->CreateVertexBuffer(sizeof(vertices), 0, kFormat, 1, &pVertexBuffer, nullptr))
        MessageBoxA(nullptr, "Error", "Error", MB_OK);
    void* data = nullptr;
    if (pVertexBuffer && pVertexBuffer->Lock(0, 0, &data, 0)) {
        std::memcpy(data, vertices, sizeof(vertices));
        pVertexBuffer->Unlock();
    }

    pDevice->CreateTextureFromFile(kTextureFile, &pTexture);
    if (!pTexture)
        std::fprintf(stderr, "Cannot load texture \"%s\": %s\n", kTextureFile, pDevice->GetTextureLoadError());
    pDevice->SetTexture(0, pTexture);

    KxMatrix4 matView;
    matView.SetLookAtLeftHanded(KxVector3(0.0f, 0.0f, -12.0f), KxVector3(1.0f, 2.0f, 3.0f),
                                KxVector3(0.0f, 1.0f, 0.0f));
    pDevice->SetTransform(KXTS_VIEW, &matView);

    KxMatrix4 matProj;
    matProj.SetPerspectiveLeftHanded(0.7853982f, 1.3333334f, 10.0f, 110.0f);
    pDevice->SetTransform(KXTS_PROJECTION, &matProj);
}

void KxScene::DrawContent()
{
    fAngle += 0.5f;
    const int degrees = int(fAngle) % 360;
    const float radians = float(degrees * (double(3.1415927f) / 180.0));

    KxMatrix4 matRotation, matWorld;
    matRotation.SetRotationX(radians);
    matWorld.SetTranslation(0.0f, 0.0f, 24.0f);
    matWorld = matRotation * matWorld;  // rotate first, then move along +z

    pDevice->SetTransform(KXTS_WORLD, &matWorld);
    pDevice->SetFVF(kFormat);
    pDevice->SetStreamSource(0, pVertexBuffer, 0, kStride);
    pDevice->DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);

    KxMatrix4 matOffset;
    matOffset.SetTranslation(offset.x, offset.y, offset.z);
    const KxMatrix4 mesh2 = matWorld * matOffset;

    pDevice->SetTransform(KXTS_WORLD, &mesh2);
    pDevice->SetFVF(kFormat);
    pDevice->SetStreamSource(0, pVertexBuffer, 0, kStride);
    pDevice->DrawPrimitive(KXPT_TRIANGLELIST, 0, 0);
}

void KxScene::ReleaseContent()
{
    if (pTexture) {
        pTexture->Release();
        pTexture = nullptr;
    }
    if (pVertexBuffer) {
        pVertexBuffer->Release();
        pVertexBuffer = nullptr;
    }
}
