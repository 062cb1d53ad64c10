#include <gtest/gtest.h>

#include <cmath>

#include "math/kxmatrix4.h"

namespace {

const float kHalfPi = 1.5707964f;

KxMatrix4 Sample()
{
    return KxMatrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
}

void ExpectNear(const KxMatrix4& a, const KxMatrix4& b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], tolerance) << "element " << i;
}

// (x, y, z) transformed as a normal.
KxVector3 Turned(const KxMatrix4& m, float x, float y, float z)
{
    KxVector3 v(x, y, z);
    v.TransformNormal(m);
    return v;
}

}  // namespace

TEST(Matrix4, DefaultIsZeroAndTheElementWiseOperationsAgree)
{
    EXPECT_EQ(KxMatrix4(), KxMatrix4(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(KxMatrix4::Identity() * Sample(), Sample());
    EXPECT_EQ(Sample() * KxMatrix4::Identity(), Sample());
    const KxMatrix4 sum = Sample() + Sample();
    EXPECT_EQ(sum, Sample() * 2.0f);
    EXPECT_EQ(sum - Sample(), Sample());
    EXPECT_EQ(-Sample() + Sample(), KxMatrix4());
    KxMatrix4 a = Sample();
    a += Sample();
    a -= Sample();
    a *= 3.0f;
    EXPECT_EQ(a, Sample() * 3.0f);
    a.m[2][1] = std::nanf("");
    EXPECT_FALSE(a == a);  // NaN never compares equal
    EXPECT_TRUE(a != a);
}

TEST(Matrix4, ProductSumsFourTermsInDoubleAndAddsTheSecondTranslationRow)
{
    KxMatrix4 a, b;
    a.m[0][0] = 1e8f;
    a.m[0][1] = 1.0f;
    a.m[0][2] = -1e8f;
    b.m[0][0] = b.m[1][0] = b.m[2][0] = 1.0f;
    EXPECT_EQ((a * b).m[0][0], 1.0f);  // a float running sum would give 0

    KxMatrix4 translation, rotation;
    translation.SetTranslation(1, 2, 3);
    rotation.SetRotationZ(kHalfPi);
    rotation.m[3][0] = 10;
    const KxMatrix4 p = translation * rotation;
    const float c = rotation.m[0][0], s = rotation.m[0][1];
    EXPECT_EQ(p.m[3][0], float(1.0 * c + 2.0 * -s + 10.0));
    EXPECT_EQ(p.m[3][1], float(1.0 * s + 2.0 * c));
    EXPECT_EQ(p.m[3][2], 3.0f);
    EXPECT_EQ(p.m[3][3], 1.0f);

    // The compound product reads the old rows.
    KxMatrix4 m = Sample();
    const KxMatrix4 returned = (m *= m);
    EXPECT_EQ(m, Sample() * Sample());
    EXPECT_EQ(returned, m);
}

TEST(Matrix4, Inverse)
{
    KxMatrix4 translation, expected, rotation, transpose, scaling;
    translation.SetTranslation(3, -4, 5);
    EXPECT_EQ(translation.Inverse(), expected.SetTranslation(-3, 4, -5));

    rotation.SetRotationXYZ(0.3f, -1.1f, 2.0f);
    for (int i = 0; i < 16; ++i)
        transpose.m[i / 4][i % 4] = rotation.m[i % 4][i / 4];
    ExpectNear(rotation.Inverse(), transpose, 2e-7f);
    ExpectNear(rotation / rotation, KxMatrix4::Identity(), 2e-7f);

    // The adjugate scaled by 1 / det, rounded once from double.
    EXPECT_EQ(scaling.SetScaling(2, 4, 8).Inverse(), KxMatrix4().SetScaling(0.5f, 0.25f, 0.125f));
    EXPECT_EQ(scaling.SetScaling(3, 1, 1).Inverse().m[0][0], float(1.0 / 3.0));
    const KxMatrix4 singular = KxMatrix4().Inverse();
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(std::isfinite(singular.m[i / 4][i % 4]));
}

TEST(Matrix4, RowsAxesAndAffineCopy)
{
    const KxMatrix4 rows = KxMatrix4::FromRows(KxPoint4(1, 2, 3, 4), KxPoint4(5, 6, 7, 8), KxPoint4(9, 10, 11, 12),
                                               KxPoint4(1, 2, 3, 4));
    EXPECT_EQ(rows, KxMatrix4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 2, 3, 1));
    EXPECT_EQ(Sample().GetRow(2).GetZ(), 11.0f);
    KxMatrix4 m = Sample(), expected = Sample();
    m.m[3][3] = 0.0f;
    expected.m[3][3] = 1.0f;
    EXPECT_EQ(m.AffineCopy(), expected);
    EXPECT_EQ(KxMatrix4(KxVector3(1, 2, 3), KxVector3(4, 5, 6), KxVector3(7, 8, 9)),
              KxMatrix4(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1));
}

TEST(Matrix4, TransformPointDividesByTheRoundedW)
{
    KxVector3 p(1, 2, 3);
    EXPECT_EQ(p.TransformPoint(KxMatrix4().SetTranslation(1, 1, 1)), 1.0f);
    EXPECT_EQ(p.x, 2.0f);
    EXPECT_EQ(p.y, 3.0f);
    EXPECT_EQ(p.z, 4.0f);
    // w = 1 - 2^-26 rounds to 1.0f; the numerator 1 + 2^-24 then rounds to
    // even (1.0f). Dividing by the unrounded w would give 1 + 2^-23.
    KxMatrix4 m = KxMatrix4::Identity();
    m.m[3][0] = 1.0f / 16777216.0f;
    m.m[0][3] = -1.0f / 67108864.0f;
    KxVector3 q(1, 0, 0);
    EXPECT_EQ(q.TransformPoint(m), 1.0f);
    EXPECT_EQ(q.x, 1.0f);
}

TEST(Matrix4, TransformNormalUsesTheUpperThreeByThree)
{
    KxMatrix4 rotation;
    rotation.SetRotationZ(kHalfPi);
    rotation.m[3][0] = 100;  // translation does not apply to normals
    KxVector3 x(1, 0, 0);
    const KxVector3 returned = x.TransformNormal(rotation);
    EXPECT_NEAR(x.x, 0.0f, 1e-7f);
    EXPECT_EQ(x.y, 1.0f);
    EXPECT_EQ(returned.y, x.y);
    EXPECT_EQ(Turned(rotation, 0, 1, 0).x, -1.0f);
}

TEST(Matrix4, RotationBuildersTurnInTheStatedSense)
{
    KxMatrix4 m, expected, ry, rz;
    EXPECT_NEAR(Turned(m.SetRotationX(kHalfPi), 0, 1, 0).z, 1.0f, 1e-7f);  // +y toward +z
    EXPECT_NEAR(Turned(m.SetRotationY(kHalfPi), 0, 0, 1).x, 1.0f, 1e-7f);  // +z toward +x
    EXPECT_NEAR(Turned(m.SetRotationAxis(kHalfPi, 0, 0, 1), 1, 0, 0).y, 1.0f, 1e-7f);
    EXPECT_NEAR(Turned(m.SetRotationAxis(kHalfPi, 0, 1, 0), 0, 0, 1).x, 1.0f, 1e-7f);
    m.SetRotationXYZ(0.5f, 0.25f, 0.125f);
    expected.SetRotationX(0.5f);
    EXPECT_EQ(m, expected * ry.SetRotationY(0.25f) * rz.SetRotationZ(0.125f));
}

TEST(Matrix4, LookAt)
{
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(view, KxMatrix4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 12, 1));
    view.SetLookAtRightHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(view, KxMatrix4(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, -12, 1));
    // Up along the view: the cross product is below the threshold, so the
    // x and y axes are zero.
    view.SetLookAtLeftHanded(KxVector3(0, 0, 0), KxVector3(0, 5, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(view, KxMatrix4(0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1));
}

TEST(Matrix4, PerspectiveLeftHandedMapsNearAndFarToZeroAndOne)
{
    KxMatrix4 proj;
    proj.SetPerspectiveLeftHanded(kHalfPi, 2.0f, 1.0f, 101.0f);
    EXPECT_FLOAT_EQ(proj.m[0][0], 0.5f);
    EXPECT_FLOAT_EQ(proj.m[1][1], 1.0f);
    EXPECT_EQ(proj.m[2][2], 1.01f);
    EXPECT_EQ(proj.m[2][3], 1.0f);
    EXPECT_EQ(proj.m[3][2], -1.01f);
    EXPECT_EQ(proj.m[3][3], 0.0f);
    KxVector3 nearPoint(0, 0, 1), farPoint(0, 0, 101);
    EXPECT_EQ(nearPoint.TransformPoint(proj), 1.0f);
    EXPECT_EQ(nearPoint.z, 0.0f);
    EXPECT_EQ(farPoint.TransformPoint(proj), 101.0f);
    EXPECT_EQ(farPoint.z, 1.0f);
}

TEST(Matrix4, OtherProjections)
{
    KxMatrix4 m;
    m.SetPerspectiveRightHanded(kHalfPi, 2.0f, 1.0f, 3.0f);
    EXPECT_FLOAT_EQ(m.m[0][0], 0.5f);
    EXPECT_EQ(m.m[2][2], -1.5f);
    EXPECT_EQ(m.m[2][3], -1.0f);
    EXPECT_EQ(m.m[3][2], -1.5f);
    m.SetOrthographicLeftHanded(4, 8, 1, 5);
    EXPECT_EQ(m, KxMatrix4(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.25f, 1));
    m.SetOrthographicRightHanded(4, 8, 1, 5);
    EXPECT_EQ(m, KxMatrix4(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, -0.25f, 0, 0, 0, -0.25f, 1));
}
