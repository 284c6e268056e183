#include "EqFreqAxis.h"

#include <algorithm>
#include <cmath>

#include "EqFilter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

EqFreqAxis::EqFreqAxis(int zeroXFreq)
    : m_zeroXFreq(std::clamp(zeroXFreq, kMinZeroXFreq, kMaxZeroXFreq)) {
    // ω_i = 10^(a + i·s): a at zeroXFreq, a + 1024·s at π (24 kHz).
    double a = std::log10(m_zeroXFreq * kPi / eq::kNyquistHz);
    double s = (std::log10(kPi) - a) / kPoints;
    for (size_t i = 0; i < kPoints; ++i) {
        double w = std::pow(10.0, a + static_cast<double>(i) * s);
        m_omega[i] = w;
        m_cos1[i] = std::cos(w);
        m_sin1[i] = std::sin(w);
        m_cos2[i] = std::cos(2 * w);
        m_sin2[i] = std::sin(2 * w);
    }
}

double EqFreqAxis::Hz(int i) const {
    return Omega(i) * eq::kNyquistHz / kPi;
}

double EqFreqAxis::PositionOfHz(double hz) const {
    return kPoints * std::log10(hz / m_zeroXFreq) / std::log10(eq::kNyquistHz / m_zeroXFreq);
}

double EqFreqAxis::HzAtPosition(double position) const {
    return m_zeroXFreq * std::pow(eq::kNyquistHz / m_zeroXFreq, position / kPoints);
}
