#include "physics/CascadedLags.h"

#include <cmath>

#include "physics/GaussianNoise.h"

namespace {

// The noise covariance over a step of r time constants: the integrals of e^(-2s) times 1, s
// and s^2 from 0 to r. For small r the closed forms lose every digit to cancellation (the
// last is r^3 / 3 computed as a difference of numbers near 1/4): series there.
struct StepCovariance {
    double c00, c01, c11;
};

StepCovariance step_covariance(double r)
{
    if (r < 0.05) {
        const double r2 = r * r, r3 = r2 * r, r4 = r3 * r, r5 = r4 * r, r6 = r5 * r, r7 = r6 * r;
        return {-std::expm1(-2.0 * r) / 2.0, r2 / 2.0 - 2.0 * r3 / 3.0 + r4 / 2.0 - 4.0 * r5 / 15.0 + r6 / 9.0,
                r3 / 3.0 - r4 / 2.0 + 2.0 * r5 / 5.0 - 2.0 * r6 / 9.0 + 2.0 * r7 / 21.0};
    }
    const double e = std::exp(-2.0 * r);
    return {(1.0 - e) / 2.0, (1.0 - e * (1.0 + 2.0 * r)) / 4.0, (1.0 - e * (1.0 + 2.0 * r + 2.0 * r * r)) / 4.0};
}

} // namespace

CascadedLags::CascadedLags(GaussianNoise& noise)
{
    // The stationary covariance [[1/2, 1/4], [1/4, 1/4]] factored: y1 = n1 / sqrt 2,
    // y2 = y1 / 2 + n2 / sqrt 8.
    m_y1 = noise.next() / std::sqrt(2.0);
    m_y2 = m_y1 / 2.0 + noise.next() / std::sqrt(8.0);
}

void CascadedLags::step(double r, GaussianNoise& noise)
{
    const double a = std::exp(-r);
    const StepCovariance q = step_covariance(r);
    const double l00 = std::sqrt(q.c00);
    const double l10 = l00 > 0.0 ? q.c01 / l00 : 0.0;
    const double l11 = std::sqrt(std::fmax(q.c11 - l10 * l10, 0.0));
    const double n0 = noise.next(), n1 = noise.next();
    const double y1 = a * m_y1 + l00 * n0;
    const double y2 = a * (r * m_y1 + m_y2) + l10 * n0 + l11 * n1;
    m_y1 = y1;
    m_y2 = y2;
}
