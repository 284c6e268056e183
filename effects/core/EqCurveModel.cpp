#include "EqCurveModel.h"

#include <algorithm>
#include <cmath>

#include "Log/Log.h"

#define LOG_SOURCE "effects\\core\\EqCurveModel"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool Finite(const eq::Coefficients& c) {
    return std::isfinite(c.a0) && std::isfinite(c.a1) && std::isfinite(c.a2) &&
           std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2);
}

}  // namespace

EqCurveModel::EqCurveModel(int zeroXFreq) : m_axis(zeroXFreq), m_total(EqFreqAxis::kPoints, 0.0) {}

bool EqCurveModel::AddBand(double gain, double frequency, double q) {
    if (m_count >= kMaxBands) {
        return false;
    }
    size_t i = static_cast<size_t>(m_count++);
    m_bands[i] = EqBand{eq::kPeaking, frequency, gain, q, {}, {}};
    m_bands[i].response.assign(EqFreqAxis::kPoints, 0.0);
    m_draws[i] = false;
    m_reported[i] = false;
    return true;
}

bool EqCurveModel::SetBandParam(int band, double value, int what) {
    if (band < 0 || band >= m_count || what < kGain || what > kType ||
        (what == kType && !eq::IsFilterType(value))) {
        return false;
    }
    EqBand& b = m_bands[static_cast<size_t>(band)];
    bool wasFlat = eq::IsFlatGain(b.gain);
    switch (what) {
        case kGain:
            b.gain = value;
            break;
        case kFrequency:
            b.frequency = value;
            break;
        case kQ:
            b.q = value;
            break;
        default:
            b.type = static_cast<int32_t>(value);
            break;
    }
    m_current = -1;
    ZeroResponse(band);
    if (!eq::IsFlatGain(b.gain)) {
        if (ComputeBand(band)) {
            m_current = band;
        }
    } else if (wasFlat) {  // it drew nothing before either
        return false;
    }
    SumTotal();
    return true;
}

void EqCurveModel::Recalculate() {
    for (int i = 0; i < m_count; ++i) {
        ZeroResponse(i);
        if (!eq::IsFlatGain(m_bands[static_cast<size_t>(i)].gain)) {
            ComputeBand(i);
        }
    }
    if (m_current >= m_count || (m_current >= 0 && !m_draws[static_cast<size_t>(m_current)])) {
        m_current = -1;
    }
    SumTotal();
}

double EqCurveModel::TotalResponseAtHz(double hz) const {
    double w = 2 * kPi * hz / eq::kSampleRate;
    double sum = 0.0;
    for (int i = 0; i < m_count; ++i) {
        if (m_draws[static_cast<size_t>(i)]) {
            sum += eq::MagnitudeDb(m_bands[static_cast<size_t>(i)].coefficients, w);
        }
    }
    return sum;
}

bool EqCurveModel::ComputeBand(int band) {
    size_t i = static_cast<size_t>(band);
    EqBand& b = m_bands[i];
    bool usable = std::isfinite(b.gain) && std::isfinite(b.frequency) && std::isfinite(b.q);
    if (usable) {
        b.coefficients = eq::FilterCoefficients(b.type, b.frequency, b.gain, b.q, b.coefficients);
        usable = Finite(b.coefficients);
    }
    for (int k = 0; usable && k < EqFreqAxis::kPoints; ++k) {
        double db = eq::MagnitudeDb(b.coefficients, m_axis.Cos1(k), m_axis.Sin1(k), m_axis.Cos2(k),
                                    m_axis.Sin2(k));
        usable = std::isfinite(db);
        b.response[static_cast<size_t>(k)] = db;
    }
    if (!usable) {
        ZeroResponse(band);
        if (!m_reported[i]) {
            m_reported[i] = true;
            VLOG_ERROR("eq", "EqCurveModel::ComputeBand",
                       "band %d (type %d, %g Hz, %g dB, Q %g) has no usable response; not drawn",
                       band, b.type, b.frequency, b.gain, b.q);
        }
        return false;
    }
    m_reported[i] = false;
    m_draws[i] = true;
    return true;
}

void EqCurveModel::ZeroResponse(int band) {
    size_t i = static_cast<size_t>(band);
    std::fill(m_bands[i].response.begin(), m_bands[i].response.end(), 0.0);
    m_draws[i] = false;
}

void EqCurveModel::SumTotal() {
    std::fill(m_total.begin(), m_total.end(), 0.0);
    for (int b = 0; b < m_count; ++b) {
        if (!m_draws[static_cast<size_t>(b)]) {
            continue;
        }
        const std::vector<double>& r = m_bands[static_cast<size_t>(b)].response;
        for (size_t k = 0; k < m_total.size(); ++k) {
            m_total[k] += r[k];
        }
    }
}
