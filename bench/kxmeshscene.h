// The scaling scene for benchmarks: a lit, textured UV sphere of N
// triangles covering about 30% of a 640 x 480 frame, drawn as one
// non-indexed triangle list of format 274 under the demo's camera. The
// same generator, vertex for vertex, as the scaling harness that compares
// the renderer with Mesa's llvmpipe.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace kxmesh {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFovY = kPi / 4.0;
constexpr double kAspect = 4.0 / 3.0;
constexpr double kNear = 10.0, kFar = 110.0;
constexpr double kDistance = 40.0;  // eye to the sphere's centre
constexpr double kCoverage = 0.30;  // of the frame, by the true sphere
constexpr double kEye[3] = {0.0, 0.0, -12.0};
constexpr double kAt[3] = {1.0, 2.0, 3.0};
constexpr double kUp[3] = {0.0, 1.0, 0.0};
constexpr double kLightDirection[3] = {0.57735026918962576, -0.57735026918962576, 0.57735026918962576};

// The radius whose sphere, on the view axis at kDistance, covers kCoverage.
inline double Radius()
{
    const double tf = std::tan(kFovY * 0.5);
    const double t2 = kCoverage * 4.0 * kAspect * tf * tf / kPi;
    return kDistance * std::sqrt(t2) / std::sqrt(1.0 + t2);
}

// The sphere's centre in world space.
inline void Centre(double c[3])
{
    double d[3], length = 0.0;
    for (int i = 0; i < 3; ++i) {
        d[i] = kAt[i] - kEye[i];
        length += d[i] * d[i];
    }
    length = std::sqrt(length);
    for (int i = 0; i < 3; ++i)
        c[i] = kEye[i] + kDistance * d[i] / length;
}

// S slices and K stacks with N = 2 S (K - 1), S / (K - 1) closest to 2.
inline bool PickGrid(long n, long& S, long& K)
{
    if (n < 4 || (n & 1))
        return false;
    const long half = n / 2;
    long best = 0;
    double bestError = 1e300;
    for (long s = 3; s <= half; ++s) {
        if (half % s || half / s < 2)
            continue;
        const double error = std::fabs(std::log(double(s) / double(half / s) / 2.0));
        if (error < bestError) {
            bestError = error;
            best = s;
        }
    }
    if (!best)
        return false;
    S = best;
    K = half / best + 1;
    return true;
}

// Grid vertex (i, j): position, normal, u, v; the poles take the u of the
// middle of their triangle.
inline void GridVertex(long i, long j, long S, long K, double R, double uMiddle, float* out)
{
    const double theta = kPi * double(j) / double(K);
    const double phi = 2.0 * kPi * double(i % S) / double(S);
    double st = std::sin(theta), ct = std::cos(theta);
    if (j == 0) {
        st = 0;
        ct = 1;
    }
    if (j == K) {
        st = 0;
        ct = -1;
    }
    const double n[3] = {st * std::cos(phi), ct, st * std::sin(phi)};
    for (int k = 0; k < 3; ++k) {
        out[k] = float(R * n[k]);
        out[3 + k] = float(n[k]);
    }
    out[6] = float((j == 0 || j == K) ? uMiddle : double(i) / double(S));
    out[7] = float(double(j) / double(K));
}

// N triangles, 3 vertices of 8 floats each, every face outward and
// clockwise on the screen.
inline void Triangles(long S, long K, double R, long count, float* out)
{
    for (long t = 0; t < count; ++t, out += 24) {
        float *a = out, *b = out + 8, *c = out + 16;
        const long southStart = 2 * S * (K - 1) - S;
        if (t < S) {
            const double um = (double(t) + 0.5) / double(S);
            GridVertex(t, 0, S, K, R, um, a);
            GridVertex(t + 1, 1, S, K, R, um, b);
            GridVertex(t, 1, S, K, R, um, c);
        } else if (t >= southStart) {
            const long i = t - southStart;
            const double um = (double(i) + 0.5) / double(S);
            GridVertex(i, K - 1, S, K, R, um, a);
            GridVertex(i + 1, K - 1, S, K, R, um, b);
            GridVertex(i, K, S, K, R, um, c);
        } else {
            const long r = t - S, j = 1 + r / (2 * S), i = (r % (2 * S)) / 2;
            if ((r & 1) == 0) {
                GridVertex(i, j, S, K, R, 0, a);
                GridVertex(i + 1, j, S, K, R, 0, b);
                GridVertex(i, j + 1, S, K, R, 0, c);
            } else {
                GridVertex(i + 1, j, S, K, R, 0, a);
                GridVertex(i + 1, j + 1, S, K, R, 0, b);
                GridVertex(i, j + 1, S, K, R, 0, c);
            }
        }
    }
}

// A 256 x 256 white and black checker of 32 x 32 squares as a bottom-up
// 24-bit BMP file.
inline bool WriteCheckerBmp(const char* path)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    uint8_t h[54] = {'B', 'M'};
    auto put32 = [&h](int offset, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            h[offset + k] = uint8_t(v >> (8 * k));
    };
    put32(2, 54 + 256 * 256 * 3);
    put32(10, 54);
    put32(14, 40);
    put32(18, 256);
    put32(22, 256);
    h[26] = 1;
    h[28] = 24;
    put32(34, 256 * 256 * 3);
    std::fwrite(h, 1, sizeof(h), f);
    std::vector<uint8_t> row(256 * 3);
    for (int y = 255; y >= 0; --y) {
        for (int x = 0; x < 256; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = (((x >> 5) + (y >> 5)) & 1) ? 0 : 255;
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

}  // namespace kxmesh
