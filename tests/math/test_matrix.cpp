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
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r << c;
}

}  // namespace

TEST(Matrix4, DefaultIsZeroAndIdentityIsNeutral)
{
    const KxMatrix4 zero;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(zero.m[i / 4][i % 4], 0.0f);
    EXPECT_EQ(KxMatrix4::Identity() * Sample(), Sample());
    EXPECT_EQ(Sample() * KxMatrix4::Identity(), Sample());
}

TEST(Matrix4, ProductSumsFourTermsInDouble)
{
    KxMatrix4 a;
    a.m[0][0] = 1e8f;
    a.m[0][1] = 1.0f;
    a.m[0][2] = -1e8f;
    KxMatrix4 b;
    b.m[0][0] = b.m[1][0] = b.m[2][0] = 1.0f;
    EXPECT_EQ((a * b).m[0][0], 1.0f);  // a float running sum would give 0
}

TEST(Matrix4, TranslationThenRotationMovesTheTranslationRow)
{
    KxMatrix4 translation, rotation;
    translation.SetTranslation(1, 2, 3);
    rotation.SetRotationZ(kHalfPi);
    rotation.m[3][0] = 10;  // B's own row 3 is added
    const KxMatrix4 p = translation * rotation;
    const float c = rotation.m[0][0], s = rotation.m[0][1];
    EXPECT_EQ(p.m[3][0], float(1.0 * c + 2.0 * -s + 10.0));
    EXPECT_EQ(p.m[3][1], float(1.0 * s + 2.0 * c));
    EXPECT_EQ(p.m[3][2], 3.0f);
    EXPECT_EQ(p.m[3][3], 1.0f);
}

TEST(Matrix4, CompoundProductReadsTheOldRows)
{
    KxMatrix4 a = Sample();
    const KxMatrix4 expected = Sample() * Sample();
    const KxMatrix4 returned = (a *= a);
    EXPECT_EQ(a, expected);
    EXPECT_EQ(returned, expected);
}

TEST(Matrix4, ElementWiseOperations)
{
    const KxMatrix4 sum = Sample() + Sample();
    EXPECT_EQ(sum, Sample() * 2.0f);
    EXPECT_EQ(sum - Sample(), Sample());
    EXPECT_EQ(-Sample() + Sample(), KxMatrix4());
    KxMatrix4 a = Sample();
    a += Sample();
    a -= Sample();
    a *= 3.0f;
    EXPECT_EQ(a, Sample() * 3.0f);
}

TEST(Matrix4, InverseOfTranslationAndRotation)
{
    KxMatrix4 translation;
    translation.SetTranslation(3, -4, 5);
    KxMatrix4 expected;
    expected.SetTranslation(-3, 4, -5);
    EXPECT_EQ(translation.Inverse(), expected);

    KxMatrix4 rotation;
    rotation.SetRotationXYZ(0.3f, -1.1f, 2.0f);
    KxMatrix4 transpose;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            transpose.m[r][c] = rotation.m[c][r];
    ExpectNear(rotation.Inverse(), transpose, 2e-7f);
    ExpectNear(rotation / rotation, KxMatrix4::Identity(), 2e-7f);
}

TEST(Matrix4, InverseScalesTheAdjugateByOneOverTheDeterminant)
{
    KxMatrix4 scaling;
    scaling.SetScaling(2, 4, 8);
    const KxMatrix4 inverse = scaling.Inverse();
    EXPECT_EQ(inverse.m[0][0], 0.5f);
    EXPECT_EQ(inverse.m[1][1], 0.25f);
    EXPECT_EQ(inverse.m[2][2], 0.125f);
    // 1/3 is rounded once, from the double reciprocal of the determinant.
    KxMatrix4 three;
    three.SetScaling(3, 1, 1);
    EXPECT_EQ(three.Inverse().m[0][0], float(1.0 / 3.0));
}

TEST(Matrix4, InverseOfZeroMatrixHasNoFiniteElement)
{
    const KxMatrix4 inverse = KxMatrix4().Inverse();
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(std::isfinite(inverse.m[i / 4][i % 4]));
}

TEST(Matrix4, NaNNeverComparesEqual)
{
    KxMatrix4 a = Sample();
    a.m[2][1] = std::nanf("");
    EXPECT_FALSE(a == a);
    EXPECT_TRUE(a != a);
}

TEST(Matrix4, RowsAndAffineCopy)
{
    const KxMatrix4 rows = KxMatrix4::FromRows(KxPoint4(1, 2, 3, 4), KxPoint4(5, 6, 7, 8),
                                               KxPoint4(9, 10, 11, 12), KxPoint4(1, 2, 3, 4));
    EXPECT_EQ(rows.m[0][3], 4.0f);
    EXPECT_EQ(rows.m[3][3], 1.0f);
    KxMatrix4 m = Sample();
    m.m[3][3] = 0.0f;
    KxMatrix4 expected = m;
    expected.m[3][3] = 1.0f;
    EXPECT_EQ(m.AffineCopy(), expected);
    EXPECT_EQ(Sample().GetRow(2).GetZ(), 11.0f);
    const KxMatrix4 axes(KxVector3(1, 2, 3), KxVector3(4, 5, 6), KxVector3(7, 8, 9));
    EXPECT_EQ(axes, KxMatrix4(1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 1));
}

TEST(Matrix4, TransformPointIdentityAndDivide)
{
    KxVector3 p(1, 2, 3);
    EXPECT_EQ(p.TransformPoint(KxMatrix4::Identity()), 1.0f);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);

    KxMatrix4 rotation;
    rotation.SetRotationX(kHalfPi);
    KxVector3 up(0, 1, 0);
    up.TransformPoint(rotation);
    EXPECT_NEAR(up.x, 0.0f, 1e-7f);
    EXPECT_NEAR(up.y, 0.0f, 1e-7f);
    EXPECT_NEAR(up.z, 1.0f, 1e-7f);
}

TEST(Matrix4, TransformPointDividesByTheRoundedW)
{
    // w = 1 - 2^-26 rounds to 1.0f; the numerator 1 + 2^-24 then rounds to
    // even (1.0f). Dividing by the unrounded w would give 1 + 2^-23.
    KxMatrix4 m = KxMatrix4::Identity();
    m.m[3][0] = 1.0f / 16777216.0f;
    m.m[0][3] = -1.0f / 67108864.0f;
    KxVector3 p(1, 0, 0);
    EXPECT_EQ(p.TransformPoint(m), 1.0f);
    EXPECT_EQ(p.x, 1.0f);
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
    KxVector3 y(0, 1, 0);
    y.TransformNormal(rotation);
    EXPECT_EQ(y.x, -1.0f);
    EXPECT_NEAR(y.y, 0.0f, 1e-7f);
}

TEST(Matrix4, RotationBuildersTurnInTheStatedSense)
{
    KxMatrix4 m;
    KxVector3 z(0, 0, 1);
    z.TransformNormal(m.SetRotationY(kHalfPi));
    EXPECT_NEAR(z.x, 1.0f, 1e-7f);  // +z toward +x
    KxVector3 axisZ(1, 0, 0);
    axisZ.TransformNormal(m.SetRotationAxis(kHalfPi, 0, 0, 1));
    EXPECT_NEAR(axisZ.y, 1.0f, 1e-7f);
    KxMatrix4 xyz, expected, ry, rz;
    xyz.SetRotationXYZ(0.5f, 0.25f, 0.125f);
    expected.SetRotationX(0.5f);
    expected = expected * ry.SetRotationY(0.25f) * rz.SetRotationZ(0.125f);
    EXPECT_EQ(xyz, expected);
}

TEST(Matrix4, LookAtLeftHandedAlongZ)
{
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(view, KxMatrix4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 12, 1));
    KxMatrix4 rightHanded;
    rightHanded.SetLookAtRightHanded(KxVector3(0, 0, -12), KxVector3(0, 0, 0), KxVector3(0, 1, 0));
    EXPECT_EQ(rightHanded.m[2][2], -1.0f);
    EXPECT_EQ(rightHanded.m[0][0], -1.0f);
    EXPECT_EQ(rightHanded.m[3][2], -12.0f);
}

TEST(Matrix4, LookAtWithUpAlongTheViewGetsZeroAxes)
{
    KxMatrix4 view;
    view.SetLookAtLeftHanded(KxVector3(0, 0, 0), KxVector3(0, 5, 0), KxVector3(0, 1, 0));
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(view.m[r][0], 0.0f);
        EXPECT_EQ(view.m[r][1], 0.0f);
    }
    EXPECT_EQ(view.m[1][2], 1.0f);
}

TEST(Matrix4, PerspectiveLeftHandedMapsNearAndFarToZeroAndOne)
{
    KxMatrix4 proj;
    proj.SetPerspectiveLeftHanded(kHalfPi, 1.0f, 1.0f, 101.0f);
    EXPECT_FLOAT_EQ(proj.m[0][0], 1.0f);
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
    EXPECT_EQ(m.m[2][2], -1.5f);
    EXPECT_EQ(m.m[2][3], -1.0f);
    EXPECT_EQ(m.m[3][2], -1.5f);
    EXPECT_FLOAT_EQ(m.m[0][0], 0.5f);
    m.SetOrthographicLeftHanded(4, 8, 1, 5);
    EXPECT_EQ(m, KxMatrix4(0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 0.25f, 0, 0, 0, -0.25f, 1));
    m.SetOrthographicRightHanded(4, 8, 1, 5);
    EXPECT_EQ(m.m[2][2], -0.25f);
    EXPECT_EQ(m.m[3][2], -0.25f);
}
