#pragma once

// Two first-order lags of the same time constant T in a row, fed Gaussian white noise:
//
//     T y1' = -y1 + n(t),   T y2' = -y2 + y1,
//
// the noise's spectral density chosen as T, so that the stationary variances are 1/2 for y1 and
// 1/4 for y2 and their covariance 1/4 whatever T is. Stepped by the exact discretisation of
// this linear system (transition and noise covariance integrated over the step), so the
// statistics hold for any step and any T, including ones that change from step to step (an
// aircraft changing speed and height), and the state stays continuous. The building block of
// the gusts (y2, smooth) and of Dryden's lateral and vertical forming filter.

class GaussianNoise;

class CascadedLags {
public:
    // Starts from a state drawn from the stationary distribution, so the process has its
    // statistics from the first step on.
    explicit CascadedLags(GaussianNoise& noise);

    // Advances by a step of r = step / T (r > 0).
    void step(double r, GaussianNoise& noise);

    double first() const { return m_y1; }
    double second() const { return m_y2; }

private:
    double m_y1 = 0.0;
    double m_y2 = 0.0;
};
