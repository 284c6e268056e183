#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "EqFilter.h"
#include "EqFreqAxis.h"

// One equaliser band.
struct EqBand {
    int32_t type = eq::kPeaking;
    double frequency = 1000.0;  // centre or corner, Hz
    double gain = 0.0;          // dB
    double q = 1.0;
    eq::Coefficients coefficients;
    std::vector<double> response;  // dB per axis point; all 0 while the band draws nothing
};

// The bands of an equaliser and their summed response over the axis. Owned by the curve widget;
// lyntctl uses it without one. A band with a NaN or infinite gain, frequency or Q (or values
// that make its filter blow up, such as Q 0) draws nothing and is logged once.
class EqCurveModel {
public:
    static constexpr int kBandRecords = 35;
    static constexpr int kMaxBands = 31;

    // What SetBandParam changes.
    enum BandParam : int { kGain = 0, kFrequency = 1, kQ = 2, kType = 3 };

    explicit EqCurveModel(int zeroXFreq = EqFreqAxis::kMinZeroXFreq);

    const EqFreqAxis& Axis() const { return m_axis; }

    // Appends a peaking band with a zeroed response; false (nothing added) when 31 exist.
    // Call Recalculate once the bands are in.
    bool AddBand(double gain, double frequency, double q);
    // False for a bad index or type, and when the change leaves nothing to redraw (the band was
    // flat and still is); true when the total changed and the curve wants a redraw.
    bool SetBandParam(int band, double value, int what);
    // Coefficients and responses of every band that is not flat, then the total.
    void Recalculate();

    int BandCount() const { return m_count; }
    const EqBand& Band(int band) const { return m_bands[static_cast<size_t>(band)]; }
    // The band of the latest SetBandParam while it draws something, else -1.
    int CurrentBand() const { return m_current; }
    const std::vector<double>& TotalResponse() const { return m_total; }
    // The total at any frequency, from the same coefficients as the curve.
    double TotalResponseAtHz(double hz) const;

private:
    // Coefficients and response of a band that is not flat; false when its values are unusable
    // (its response is zeroed then).
    bool ComputeBand(int band);
    void ZeroResponse(int band);
    void SumTotal();

    EqFreqAxis m_axis;
    std::array<EqBand, kBandRecords> m_bands;
    std::array<bool, kBandRecords> m_draws{};     // contributes to the total
    std::array<bool, kBandRecords> m_reported{};  // its bad values are in the log already
    int m_count = 0;
    int m_current = -1;
    std::vector<double> m_total;
};
