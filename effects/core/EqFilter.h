#pragma once

#include <cmath>
#include <cstdint>

// The equaliser's second-order filters, evaluated at the card's 48 kHz.
namespace eq {

inline constexpr double kSampleRate = 48000.0;
inline constexpr double kNyquistHz = kSampleRate / 2;

enum FilterType : int32_t {
    kPass = 0,
    kLowShelf = 1,
    kPeaking = 2,  // the only type the dialog creates
    kHighShelf = 3,
    kLowPassQ707 = 4,  // the pass filters ignore the band's Q and gain; their damping is fixed
    kHighPassQ707 = 5,
    kLowPassQ383 = 6,
    kHighPassQ383 = 7,
    kLowPassQ866 = 8,
    kHighPassQ866 = 9,
    kKeep = 10,  // keeps whatever coefficients the band had
};
inline constexpr int kFilterTypeCount = 11;

// Normalised and halved (each divided by 2·a0), so a0 is always 0.5. The default is the pass
// filter, so a band that never had coefficients (type kKeep from the start) is flat, not 0/0.
struct Coefficients {
    double a0 = 0.5;
    double a1 = 0.0;
    double a2 = 0.0;
    double b0 = 0.5;
    double b1 = 0.0;
    double b2 = 0.0;
};

// Gains strictly inside ±0.01 dB count as no band at all, whatever the type.
inline bool IsFlatGain(double gain) {
    return gain > -0.01 && gain < 0.01;
}

bool IsFilterType(double type);
const char* FilterTypeName(int type);

// The coefficients of a band; previous is what kKeep returns.
Coefficients FilterCoefficients(int type, double frequency, double gain, double q,
                                const Coefficients& previous);

// 20·log10|H(e^jω)| with z = e^(−jω): cos and sin of ω and 2ω given, so a fixed axis can
// precompute them.
inline double MagnitudeDb(const Coefficients& c, double cos1, double sin1, double cos2,
                          double sin2) {
    double nr = c.b0 + c.b1 * cos1 + c.b2 * cos2;
    double ni = c.b1 * sin1 + c.b2 * sin2;
    double dr = c.a0 + c.a1 * cos1 + c.a2 * cos2;
    double di = c.a1 * sin1 + c.a2 * sin2;
    return 10.0 * std::log10((nr * nr + ni * ni) / (dr * dr + di * di));
}

inline double MagnitudeDb(const Coefficients& c, double omega) {
    return MagnitudeDb(c, std::cos(omega), std::sin(omega), std::cos(2 * omega),
                       std::sin(2 * omega));
}

}  // namespace eq
