#include "math/kxsphere.h"

#include <cmath>

bool KxSphere::Intersects(const KxSphere& other) const
{
    const double dx = double(other.centre.x) - centre.x;
    const double dy = double(other.centre.y) - centre.y;
    const double dz = double(other.centre.z) - centre.z;
    const double sumOfRadii = double(radius) + other.radius;
    return std::pow(sumOfRadii, 2) > std::pow(dx, 2) + std::pow(dy, 2) + std::pow(dz, 2);
}
