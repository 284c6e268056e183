#pragma once

#include <array>
#include <cstddef>

// The equaliser's frequency axis: 1024 points, logarithmically spaced from zeroXFreq up to (not
// including) 24 kHz, evenly spaced in x on screen. The trigonometry of every point is kept so a
// band's response costs no cos or sin.
class EqFreqAxis {
public:
    static constexpr int kPoints = 1024;
    static constexpr int kMinZeroXFreq = 10;
    static constexpr int kMaxZeroXFreq = 20;

    // zeroXFreq is clamped to 10-20 Hz.
    explicit EqFreqAxis(int zeroXFreq = kMinZeroXFreq);

    int ZeroXFreq() const { return m_zeroXFreq; }
    // Normalised angular frequency of point i (0 … π).
    double Omega(int i) const { return m_omega[static_cast<std::size_t>(i)]; }
    double Hz(int i) const;
    double Cos1(int i) const { return m_cos1[static_cast<std::size_t>(i)]; }
    double Sin1(int i) const { return m_sin1[static_cast<std::size_t>(i)]; }
    double Cos2(int i) const { return m_cos2[static_cast<std::size_t>(i)]; }
    double Sin2(int i) const { return m_sin2[static_cast<std::size_t>(i)]; }

    // Where a frequency lies on the axis, as a fractional point index (0 at zeroXFreq, 1024 at
    // 24 kHz), and back.
    double PositionOfHz(double hz) const;
    double HzAtPosition(double position) const;

private:
    int m_zeroXFreq;
    std::array<double, kPoints> m_omega{};
    std::array<double, kPoints> m_cos1{};
    std::array<double, kPoints> m_sin1{};
    std::array<double, kPoints> m_cos2{};
    std::array<double, kPoints> m_sin2{};
};
