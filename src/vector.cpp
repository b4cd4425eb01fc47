/*
 * Vector arithmetic: component by component, the length in double precision.
 */
#include "vector.h"

#include <math.h>

vector::vector() : x(0), y(0), z(0) {}

vector::vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

void vector::set(float x_, float y_, float z_)
{
    x = x_;
    y = y_;
    z = z_;
}

/* The squares are summed in double and only the root is rounded to float. */
float vector::length()
{
    double xx = (double)x * x;
    double yy = (double)y * y;
    double zz = (double)z * z;
    return (float)sqrt((xx + yy) + zz);
}

void vector::normalize()
{
    float l = length();
    x /= l;
    y /= l;
    z /= l;
}

vector vector::operator+(const vector& other) { return vector(x + other.x, y + other.y, z + other.z); }

vector vector::operator-(const vector& other) { return vector(x - other.x, y - other.y, z - other.z); }

vector vector::operator*(const vector& other) { return vector(x * other.x, y * other.y, z * other.z); }

vector vector::operator/(const vector& other) { return vector(x / other.x, y / other.y, z / other.z); }

vector vector::operator*(const float scalar) { return vector(x * scalar, y * scalar, z * scalar); }

vector& vector::operator=(const vector& other)
{
    x = other.x;
    y = other.y;
    z = other.z;
    return *this;
}

vector& vector::operator+=(const vector& other)
{
    x += other.x;
    y += other.y;
    z += other.z;
    return *this;
}

vector& vector::operator-=(const vector& other)
{
    x -= other.x;
    y -= other.y;
    z -= other.z;
    return *this;
}

vector vector::operator+() const { return *this; }

/* Negation flips the sign bit, so 0 becomes -0 and a NaN changes sign too. */
vector vector::operator-() const { return vector(-x, -y, -z); }

vector operator*(const float scalar, const vector& other) { return vector(other.x * scalar, other.y * scalar, other.z * scalar); }
