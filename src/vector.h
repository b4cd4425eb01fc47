/*
 * Three-component vectors for the scenes' geometry.
 */
#ifndef VECTOR_H
#define VECTOR_H

/* Three floats with component-wise arithmetic, in single precision. Nothing is
 * checked: a zero divisor or a zero length gives infinities and NaNs as IEEE 754
 * says. */
class vector {
public:
    vector();
    vector(float x_, float y_, float z_);
    vector(const vector& other) = default; /* a plain copy of the three floats */

    void set(float x_, float y_, float z_);
    float length();
    void normalize();

    vector operator+(const vector& other);
    vector operator-(const vector& other);
    vector operator*(const vector& other);
    vector operator/(const vector& other);
    vector operator*(const float scalar);
    vector& operator=(const vector& other);
    vector& operator+=(const vector& other);
    vector& operator-=(const vector& other);
    vector operator+() const;
    vector operator-() const;

    /* Declared for completeness; nothing defines or uses them. */
    static float distance(const vector& a, const vector& b);
    static float dotProduct(const vector& a, const vector& b);
    static vector crossProduct(const vector& a, const vector& b);

    float x;
    float y;
    float z;
};

vector operator*(const float scalar, const vector& other);

#endif
