// Matrices: products summed in double, the builders' known results, and the
// rounding points of the point transform.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/math/kxfloats.h"

namespace {

const float kHalfPi = 1.5707964f;

KxMatrix4 Sample()
{
    return KxMatrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
}

KxMatrix4 Transposed(const KxMatrix4& m)
{
    KxMatrix4 t;
    for (int i = 0; i < 16; ++i)
        t.m[i / 4][i % 4] = m.m[i % 4][i / 4];
    return t;
}

}  // namespace

TEST(Matrix4, ArithmeticAndProducts)
{
    KxMatrix4 a = Sample();
    a += Sample();
    a -= Sample() * 2.0f;
    EXPECT_EQ(a, KxMatrix4());
    EXPECT_EQ(-Sample() + Sample() - KxMatrix4(), KxMatrix4());
    EXPECT_EQ(KxMatrix4::Identity() * Sample(), Sample());
    EXPECT_EQ(Sample() * KxMatrix4::Identity(), Sample());
    a.m[2][1] = std::nanf("");
    EXPECT_TRUE(a != a);  // NaN never compares equal

    // Four terms summed in double: a float running sum would give 0.
    KxMatrix4 big, ones;
    big.m[0][0] = 1e8f;
    big.m[0][1] = 1.0f;
    big.m[0][2] = -1e8f;
    ones.m[0][0] = ones.m[1][0] = ones.m[2][0] = 1.0f;
    EXPECT_EQ((big * ones).m[0][0], 1.0f);
    // The compound product reads the old rows.
    KxMatrix4 m = Sample();
    const KxMatrix4 returned = (m *= m);
    EXPECT_EQ(m, Sample() * Sample());
    EXPECT_EQ(returned, m);
}

TEST(Matrix4, BuildersAndInverses)
{
    KxMatrix4 t, r, s, x, y, z, v, p;
    const KxMatrix4 dense(4, 1, 2, 3, 2, 5, 1, 1, 1, 2, 6, 2, 3, 1, 2, 7);  // every cofactor term counts
    t.SetTranslation(3, -4, 5);
    r.SetRotationXYZ(0.3f, -1.1f, 2.0f);
    const struct {
        KxMatrix4 actual;
        KxFloats expected;
        float tolerance = 0.0f;
    } cases[] = {
        {t.Inverse(), Floats(KxMatrix4().SetTranslation(-3, 4, -5))},
        {r.Inverse(), Floats(Transposed(r)), 2e-7f},
        {r / r, Floats(KxMatrix4::Identity()), 2e-7f},
        {dense * dense.Inverse(), Floats(KxMatrix4::Identity()), 1e-6f},
        {r, Floats(x.SetRotationX(0.3f) * y.SetRotationY(-1.1f) * z.SetRotationZ(2.0f))},
        // The adjugate scaled by 1 / det, rounded once from double.
        {s.SetScaling(2, 4, 8).Inverse(), {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.125f, 0, 0, 0, 0, 1}},
        {v.SetLookAtLeftHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0)),
         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 12, 1}},
        {v.SetLookAtRightHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0)),
         {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -12, 1}},
        // Up along the view: the cross product is below the threshold, so
        // the x and y axes are zero.
        {v.SetLookAtLeftHanded(KxVector3(0, 0, 0), KxVector3(0, 5, 0), KxVector3(0, 1, 0)),
         {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {p.SetPerspectiveLeftHanded(kHalfPi, 2.0f, 1.0f, 101.0f), {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0},
         1e-7f},
        {p.SetPerspectiveRightHanded(kHalfPi, 2.0f, 1.0f, 3.0f), {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.5f, -1, 0, 0, -1.5f, 0},
         1e-7f},
        {p.SetOrthographicLeftHanded(4, 8, 1, 5), {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.25f, 1}},
        {KxMatrix4::FromRows(KxPoint4(1, 2, 3, 4), KxPoint4(5, 6, 7, 8), KxPoint4(9, 10, 11, 12), KxPoint4(1, 2, 3, 4)),
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 2, 3, 1}},
        {KxMatrix4(KxVector3(1, 2, 3), KxVector3(4, 5, 6), KxVector3(7, 8, 9)),
         {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_TRUE(Near(Floats(cases[i].actual), cases[i].expected, cases[i].tolerance)) << "case " << i;
    for (float f : Floats(KxMatrix4().Inverse()))
        EXPECT_FALSE(std::isfinite(f));  // singular
    KxMatrix4 w = Sample();
    w.m[3][3] = 0.0f;
    EXPECT_EQ(Floats(w.AffineCopy())[15], 1.0f);
    EXPECT_EQ(Sample().GetRow(2).GetZ(), 11.0f);
}

TEST(Matrix4, TransformPointDividesByTheRoundedW)
{
    KxVector3 p(1, 2, 3);
    EXPECT_EQ(p.TransformPoint(KxMatrix4().SetTranslation(1, 1, 1)), 1.0f);
    EXPECT_EQ(Floats(p), (KxFloats{2, 3, 4}));
    // w = 1 - 2^-26 rounds to 1.0f; the numerator 1 + 2^-24 then rounds to
    // even (1.0f). Dividing by the unrounded w would give 1 + 2^-23.
    KxMatrix4 m = KxMatrix4::Identity();
    m.m[3][0] = 1.0f / 16777216.0f;
    m.m[0][3] = -1.0f / 67108864.0f;
    KxVector3 q(1, 0, 0);
    EXPECT_EQ(q.TransformPoint(m), 1.0f);
    EXPECT_EQ(q.x, 1.0f);
}
