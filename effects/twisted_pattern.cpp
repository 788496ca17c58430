// Scenes 1 and 9: the sign of two nested sine terms on a grid that twists
// with time and along the screen diagonal, in black and white.
//
// Each pixel needs six nested sines and cosines but keeps only the sign of
// float(A + B). The C library's calls cannot be vectorised, so a row is
// first evaluated with polynomial sines and cosines written to vectorise;
// only pixels whose fast sum lies within the proven error bound of the
// black/white boundary are evaluated again with the C library, so every
// pixel comes out as the exact formula gives it.
//
// Error of the fast sum S' against the exact sum S (u = 2^-53, the unit
// roundoff; two roundings of values a, b differ by at most |a - b| + u|a| +
// u|b|; sin and cos are 1-Lipschitz; Horner's rule for an odd polynomial of
// r with Taylor coefficients rounds to within 30 u sinh|r|):
//  - C library sin/cos: taken to be within Lib = 2^-46 of the true value
//    (glibc, musl and the Windows CRT keep within 1-2 ulp, 2^-52 here).
//  - Fast sin/cos for |x| <= 3e6: x = r + k pi (cos: (k + 1/2) pi), k an
//    integer, pi = Pi1 + Pi2 to 7e-27, Pi1 of 32 significant bits so that
//    k Pi1 and (k + 1/2) Pi1 are exact for |k| < 2^20 (here |k| < 9.6e5).
//    x / pi - 1/2 is rounded within 3.2e-10, so |r| <= pi/2 + 1e-9 < 1.5708;
//    r is within 3u 1.6 + 1e6 7e-27 of its true value; the sign is exact.
//  - |u|, |v| <= 160 + 100 whatever the angle.
//  - First level, sin(u 0.02) and cos(v 0.02): Taylor to r^15: truncation
//    <= 1.5708^17 / 17! = 6.07e-12, Horner 30 u sinh(1.5708) = 7.7e-15:
//    First = 7e-12.
//  - Second level, of x2 = (s1 E) 0.001, |x2| <= 2.15e6 for any 32-bit e:
//    its error is not multiplied by E, so Taylor to r^11 does: truncation
//    <= 1.5708^13 / 13! = 5.7e-8, Horner 7.7e-15: Second = 6e-8.
//  - Outer sine: |g| <= (10 + 0.1 * 260.01) * 0.0234 < 0.845, no
//    reduction; Taylor to g^9: truncation <= 0.85^11 / 11! = 4.2e-9, Horner
//    3.2e-15: Outer = 5e-9.
//  Per step of the first term (the second is its mirror, same bounds):
//   1. x1 = u * 0.02 is the same rounding in both.
//   2. |s1' - s1| <= Lib + First = D1.
//   3. x2 = (s1 E) 0.001: |x2' - x2| <= 0.0011 |E| (D1 + 5u).
//   4. |c2' - c2| <= |x2' - x2| + Lib + Second = D2.
//   5. g = (c2 10 + v 0.1) 0.0234, |c2 10 + v 0.1| <= 36.1:
//      |g' - g| <= 0.234 D2 + 4u.
//   6. |A' - A| <= |g' - g| + Lib + Outer.
//   7. S = A + B, |S| <= 2: |S' - S| <= |A' - A| + |B' - B| + 4u = Bound.
// The pixel is white when float(S) > 0, that is S > 2^-150 (smaller
// positive sums round to 0, and 2^-150 itself to 0 by ties-to-even).
// S' > Guard = 2 Bound + 2^-149 makes S > 2^-150 certain, S' < -Guard makes
// S < 0 certain; anything between takes the exact path. The factor 2 is
// slack. In the demo (e <= 178 000) Guard is below 1e-7: a frame has an
// exact pixel only now and then. At the ends of e (2^31) it is 2e-5.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/effects.h"
#include "effects/twist.h"

namespace {

constexpr uint32_t White = 0xFFFFFFu;
constexpr uint32_t Black = 0u;

constexpr double UnitRoundoff = 0x1p-53;
constexpr double LibraryError = 0x1p-46;
constexpr double FirstError = 7e-12;
constexpr double SecondError = 6e-8;
constexpr double OuterError = 5e-9;

constexpr double Pi1 = 0x1.921fb544p+1;  // 32 significant bits
constexpr double Pi2 = 0x1.0b4611a626331p-33;
constexpr double InvPi = 0x1.45f306dc9c883p-2;
// Adding 1.5 * 2^52 rounds to the nearest integer, left in the low
// mantissa bits (two's complement for negative integers).
constexpr double RoundingShift = 0x1.8p52;

// Odd Taylor polynomials of sin, evaluated by Horner's rule in r^2.
inline double sinTaylor15(double r) {
    const double z = r * r;
    double p = -0x1.ae7f3e733b81fp-41;  // -1/15!
    p = p * z + 0x1.6124613a86d09p-33;  // 1/13!
    p = p * z - 0x1.ae64567f544e4p-26;  // -1/11!
    p = p * z + 0x1.71de3a556c734p-19;  // 1/9!
    p = p * z - 0x1.a01a01a01a01ap-13;  // -1/7!
    p = p * z + 0x1.1111111111111p-7;   // 1/5!
    p = p * z - 0x1.5555555555555p-3;   // -1/3!
    return (p * z) * r + r;
}

inline double sinTaylor11(double r) {
    const double z = r * r;
    double p = -0x1.ae64567f544e4p-26;  // -1/11!
    p = p * z + 0x1.71de3a556c734p-19;  // 1/9!
    p = p * z - 0x1.a01a01a01a01ap-13;  // -1/7!
    p = p * z + 0x1.1111111111111p-7;   // 1/5!
    p = p * z - 0x1.5555555555555p-3;   // -1/3!
    return (p * z) * r + r;
}

inline double sinTaylor9(double r) {
    const double z = r * r;
    double p = 0x1.71de3a556c734p-19;   // 1/9!
    p = p * z - 0x1.a01a01a01a01ap-13;  // -1/7!
    p = p * z + 0x1.1111111111111p-7;   // 1/5!
    p = p * z - 0x1.5555555555555p-3;   // -1/3!
    return (p * z) * r + r;
}

// (std::bit_cast is missing from some of the libraries the demo builds with.)
inline uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double doubleOf(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The sign bit of (-1)^k, k in the low bits of `shifted`, applied to value.
inline double withSignOf(double value, double shifted) {
    return doubleOf(bitsOf(value) ^ (bitsOf(shifted) << 63));
}

// sin x = (-1)^k sin(x - k pi), k the integer nearest x / pi.
template <double (*sinReduced)(double)>
inline double fastSin(double x) {
    const double shifted = x * InvPi + RoundingShift;
    const double k = shifted - RoundingShift;
    return withSignOf(sinReduced((x - k * Pi1) - k * Pi2), shifted);
}

// cos x = -(-1)^k sin(x - (k + 1/2) pi), k the integer nearest x/pi - 1/2.
template <double (*sinReduced)(double)>
inline double fastCos(double x) {
    const double shifted = (x * InvPi - 0.5) + RoundingShift;
    const double h = (shifted - RoundingShift) + 0.5;
    return -withSignOf(sinReduced((x - h * Pi1) - h * Pi2), shifted);
}

// The formula of TwistedPatternExact with the fast functions.
inline void fastSums(const float* u, const float* v, int n, double E, double* sums) {
    for (int i = 0; i < n; ++i) {
        const double du = static_cast<double>(u[i]);
        const double dv = static_cast<double>(v[i]);
        const double s1 = fastSin<sinTaylor15>(du * 0.02);
        const double c1 = fastCos<sinTaylor15>(dv * 0.02);
        const double a = sinTaylor9((fastCos<sinTaylor11>(s1 * E * 0.001) * 10.0 + dv * 0.1) * 0.0234);
        const double b = sinTaylor9((fastSin<sinTaylor11>(c1 * E * 0.001) * 10.0 + du * 0.1) * 0.0234);
        sums[i] = a + b;
    }
}

}  // namespace

double TwistedPatternBound(int32_t e) {
    const double u = UnitRoundoff;
    const double E = std::fabs(static_cast<double>(e));
    const double d1 = LibraryError + FirstError;
    const double d2 = 0.0011 * E * (d1 + 5.0 * u) + LibraryError + SecondError;
    const double term = (0.234 * d2 + 4.0 * u) + LibraryError + OuterError;
    return 2.0 * term + 4.0 * u;
}

void TwistedPatternFastSums(const float* u, const float* v, int n, int32_t e, double* sums) {
    fastSums(u, v, n, static_cast<double>(e), sums);
}

uint32_t TwistedPatternExact(float u, float v, int32_t e) {
    const double E = static_cast<double>(e);
    const double du = static_cast<double>(u);
    const double dv = static_cast<double>(v);
    const double a = std::sin((std::cos(std::sin(du * 0.02) * E * 0.001) * 10.0 + dv * 0.1) * 0.0234);
    const double b = std::sin((std::sin(std::cos(dv * 0.02) * E * 0.001) * 10.0 + du * 0.1) * 0.0234);
    // A not-a-number fails the test and gives black, as zero does.
    return static_cast<float>(a + b) > 0.0f ? White : Black;
}

TWIST_KERNEL int TwistedPatternRow(const float* u, const float* v, int n, int32_t e, uint32_t* out) {
    double sums[ScreenWidth];
    const double guard = 2.0 * TwistedPatternBound(e) + 0x1p-149;
    int exact = 0;
    for (int start = 0; start < n; start += ScreenWidth) {
        const int count = std::min(n - start, ScreenWidth);
        uint32_t* row = out + start;
        fastSums(u + start, v + start, count, static_cast<double>(e), sums);
        bool unsure = false;
        for (int i = 0; i < count; ++i) {
            row[i] = sums[i] > guard ? White : Black;
            unsure |= std::fabs(sums[i]) <= guard;
        }
        if (!unsure) continue;
        for (int i = 0; i < count; ++i)
            if (std::fabs(sums[i]) <= guard) {
                row[i] = TwistedPatternExact(u[start + i], v[start + i], e);
                ++exact;
            }
    }
    return exact;
}

void DrawTwistedPattern(int32_t e) {
    drawTwisted(e,
                [e](const float* u, const float* v, uint32_t* out) { TwistedPatternRow(u, v, ScreenWidth, e, out); });
}
