#include "EqFilter.h"

namespace eq {

namespace {

constexpr double kPi = 3.14159265358979323846;

Coefficients Normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    double h = 2 * a0;
    return Coefficients{a0 / h, a1 / h, a2 / h, b0 / h, b1 / h, b2 / h};
}

// The fixed damping d of the pass filters (α′ = sin ω0 / d).
double PassDamping(int type) {
    switch (type) {
        case kLowPassQ707:
        case kHighPassQ707:
            return 1.4142135624;
        case kLowPassQ383:
        case kHighPassQ383:
            return 2.61312592975;
        default:
            return 1.1547005384;
    }
}

}  // namespace

bool IsFilterType(double type) {
    return type >= 0 && type < kFilterTypeCount && type == std::floor(type);
}

const char* FilterTypeName(int type) {
    static const char* const kNames[kFilterTypeCount] = {
        "pass",          "low shelf",      "peaking",       "high shelf",
        "low-pass 0.71", "high-pass 0.71", "low-pass 0.38", "high-pass 0.38",
        "low-pass 0.87", "high-pass 0.87", "keep"};
    return type >= 0 && type < kFilterTypeCount ? kNames[type] : "unknown";
}

Coefficients FilterCoefficients(int type, double frequency, double gain, double q,
                                const Coefficients& previous) {
    if (type == kKeep) {
        return previous;
    }
    if (type < kPass || type > kHighPassQ866) {
        return Coefficients{};
    }
    bool shelfOrPeak = type == kLowShelf || type == kPeaking || type == kHighShelf;
    if (type == kPass || (shelfOrPeak && gain == 0.0) ||
        (!shelfOrPeak && (frequency < 20.0 || frequency > 22000.0))) {
        return Coefficients{};
    }
    double w0 = 2 * kPi * frequency / kSampleRate;
    double c = std::cos(w0);
    double sn = std::sin(w0);
    if (!shelfOrPeak) {
        double alpha = sn / PassDamping(type);
        bool lowPass = type == kLowPassQ707 || type == kLowPassQ383 || type == kLowPassQ866;
        double edge = lowPass ? (1 - c) / 2 : (1 + c) / 2;
        return Normalised(edge, lowPass ? 1 - c : -(1 + c), edge, 1 + alpha, -2 * c, 1 - alpha);
    }
    double A = std::pow(10.0, gain / 40.0);
    if (type == kPeaking) {
        double alpha = sn / (2 * q);
        return Normalised(1 + alpha * A, -2 * c, 1 - alpha * A, 1 + alpha / A, -2 * c,
                          1 - alpha / A);
    }
    double S = std::sqrt(2 * A) / q * sn;
    if (type == kLowShelf) {
        return Normalised(A * ((A + 1) - (A - 1) * c + S), 2 * A * ((A - 1) - (A + 1) * c),
                          A * ((A + 1) - (A - 1) * c - S), (A + 1) + (A - 1) * c + S,
                          -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - S);
    }
    return Normalised(A * ((A + 1) + (A - 1) * c + S), -2 * A * ((A - 1) + (A + 1) * c),
                      A * ((A + 1) + (A - 1) * c - S), (A + 1) - (A - 1) * c + S,
                      2 * ((A - 1) - (A + 1) * c), (A + 1) - (A - 1) * c - S);
}

}  // namespace eq
