// The equaliser curve checked against a second, plain evaluation of the biquad formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include "EqBands.h"
#include "EqCurveModel.h"
#include "EqPlotGeometry.h"
#include "Log/Log.h"

namespace {

const double kPi = std::acos(-1.0);

struct Biquad {
    double b0, b1, b2, a0, a1, a2;
};

// The cookbook filters, unnormalised; the pass filters' damping from its closed form.
Biquad Reference(int type, double f, double gain, double q) {
    const Biquad unity{1, 0, 0, 1, 0, 0};
    double w = 2 * kPi * f / 48000, c = std::cos(w), s = std::sin(w);
    double A = std::pow(10.0, gain / 40);
    if (type == 0 || (type <= 3 && gain == 0) || (type >= 4 && (f < 20 || f > 22000))) {
        return unity;
    }
    if (type == 2) {
        double al = s / (2 * q);
        return {1 + al * A, -2 * c, 1 - al * A, 1 + al / A, -2 * c, 1 - al / A};
    }
    if (type == 1 || type == 3) {
        double S = std::sqrt(2 * A) / q * s;
        double k = type == 1 ? 1 : -1;  // the high shelf is the low one with c negated
        return {A * ((A + 1) - k * (A - 1) * c + S),  k * 2 * A * ((A - 1) - k * (A + 1) * c),
                A * ((A + 1) - k * (A - 1) * c - S),  (A + 1) + k * (A - 1) * c + S,
                -k * 2 * ((A - 1) + k * (A + 1) * c), (A + 1) + k * (A - 1) * c - S};
    }
    double d = type <= 5 ? std::sqrt(2.0) : type <= 7 ? 1 / std::sin(kPi / 8) : 2 / std::sqrt(3.0);
    double al = s / d;
    double e = type % 2 == 0 ? (1 - c) / 2 : (1 + c) / 2;
    return {e, type % 2 == 0 ? 2 * e : -2 * e, e, 1 + al, -2 * c, 1 - al};
}

double ReferenceDb(const Biquad& h, double hz) {
    std::complex<double> z = std::polar(1.0, -2 * kPi * hz / 48000);
    return 20 * std::log10(
                    std::abs((h.b0 + h.b1 * z + h.b2 * z * z) / (h.a0 + h.a1 * z + h.a2 * z * z)));
}

// Point i of the axis in Hz, from its definition rather than the model's angular form.
double AxisHz(int i, double zeroXFreq = 10) {
    return zeroXFreq * std::pow(24000 / zeroXFreq, i / 1024.0);
}

EqCurveModel CardCurve(int raw1kHz) {
    EqCurveModel curve;
    eq::AddCardBands(curve);
    for (int id = 9; id <= 23; ++id)
        eq::ShowParam(curve, id, id == 17 ? raw1kHz : 120);
    return curve;
}

TEST(EqCurve, AllBandsAtZeroAreTheZeroLineAndOneBandRaisedPeaksThere) {
    EqCurveModel flat = CardCurve(120);
    for (double v : flat.TotalResponse())
        ASSERT_EQ(v, 0.0);
    EXPECT_EQ(flat.CurrentBand(), -1);
    EXPECT_FALSE(flat.SetBandParam(3, 0.0, EqCurveModel::kGain)) << "flat to flat: no redraw";

    EqCurveModel raised = CardCurve(180);
    EXPECT_EQ(raised.CurrentBand(), -1) << "the last band set, 16 kHz, is flat";
    raised = CardCurve(120);
    EXPECT_TRUE(eq::ShowParam(raised, 17, 180));  // the 1 kHz slider moved to +6 dB
    EXPECT_EQ(raised.CurrentBand(), 8);
    const auto& total = raised.TotalResponse();
    auto peak = std::max_element(total.begin(), total.end()) - total.begin();
    EXPECT_NEAR(total[static_cast<size_t>(peak)], 6.0, 0.05);
    EXPECT_NEAR(AxisHz(static_cast<int>(peak)), 1000, 40);
    EXPECT_NEAR(raised.TotalResponseAtHz(1000), 6.0, 0.05);
    Biquad ref = Reference(2, 1000, 6, 1.7);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_NEAR(total[static_cast<size_t>(i)], ReferenceDb(ref, AxisHz(i)), 1e-6) << i;
        ASSERT_EQ(total[static_cast<size_t>(i)], raised.Band(8).response[static_cast<size_t>(i)]);
    }
}

TEST(EqCurve, FlatRuleIsPlusMinusOneHundredthDb) {
    EqCurveModel curve = CardCurve(120);
    EXPECT_FALSE(curve.SetBandParam(8, 0.005, EqCurveModel::kGain));
    EXPECT_EQ(curve.CurrentBand(), -1);
    EXPECT_EQ(curve.TotalResponseAtHz(1000), 0.0);
    EXPECT_TRUE(curve.SetBandParam(8, 0.01, EqCurveModel::kGain));
    EXPECT_EQ(curve.CurrentBand(), 8);
    EXPECT_NEAR(curve.TotalResponseAtHz(1000), 0.01, 1e-9);
    EXPECT_TRUE(curve.SetBandParam(8, -0.005, EqCurveModel::kGain)) << "back to flat: redraw";
    EXPECT_EQ(curve.CurrentBand(), -1);
    EXPECT_EQ(curve.TotalResponseAtHz(1000), 0.0);
}

TEST(EqCurve, CardValuesAreClampedToTheParameterRange) {
    const auto& d = model::ParamDescriptors()[9];
    EXPECT_EQ(eq::GainOfParam(d, 150), 3.0);
    EXPECT_EQ(eq::GainOfParam(d, 4095), 12.0);
    EXPECT_EQ(eq::GainOfParam(d, -7), -12.0);
    EXPECT_FALSE(CardCurve(120).SetBandParam(15, 1.0, EqCurveModel::kGain)) << "no 16th band";
}

TEST(EqPlot, GridLinesAndAxisPointsShareOneMapping) {
    EqPlotAttributes a;
    a.ldist = 35;
    a.zeroXFreq = 20;
    EqPlotGeometry g(a, EqRect{0, 0, 735, 300});
    ASSERT_EQ(g.PlotWidth(), 700);
    EXPECT_EQ(g.GridLineX(1000) - g.PlotLeft(), 386);
    auto lines = g.VerticalLines();
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(lines.front().position, g.PlotLeft());
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return !l.label.empty(); }),
              10);
    EqCurveModel curve(20);
    for (double hz : {25.0, 1000.0, 16000.0}) {
        EXPECT_NEAR(g.PointX(curve.Axis().PositionOfHz(hz)), g.XOfHz(hz), 1e-9) << hz;
        EXPECT_NEAR(g.HzAtX(g.XOfHz(hz)), hz, 1e-9 * hz);
    }
    EXPECT_NEAR(curve.Axis().Hz(512), AxisHz(512, 20), 1e-9);

    a.nKedu = 0;  // from a damaged layout: no division by zero
    a.dbMin = a.dbMax;
    EqPlotGeometry bad(a, EqRect{0, 0, 735, 300});
    EXPECT_EQ(bad.HorizontalLines().size(), 2u);
    EXPECT_TRUE(std::isfinite(bad.PixelsPerDb()));
}

TEST(EqCurve, UnusableBandsDrawNothingAndAreLoggedOnce) {
    vlog::CLogCapture log;
    EqCurveModel curve = CardCurve(180);
    auto errors = [&] {
        auto r = log.Records();
        return std::count_if(r.begin(), r.end(), [](auto& x) { return x.level == vlog::kError; });
    };
    EXPECT_TRUE(curve.SetBandParam(2, std::nan(""), EqCurveModel::kGain));
    curve.Recalculate();
    curve.Recalculate();
    EXPECT_EQ(errors(), 1);
    EXPECT_EQ(curve.CurrentBand(), -1);
    curve.SetBandParam(2, 6, EqCurveModel::kGain);
    curve.SetBandParam(2, 0, EqCurveModel::kQ);  // α infinite
    EXPECT_EQ(errors(), 2);
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(curve.TotalResponse()[static_cast<size_t>(i)],
                  curve.Band(8).response[static_cast<size_t>(i)]);
    }
    curve.SetBandParam(2, INFINITY, EqCurveModel::kFrequency);
    EXPECT_EQ(errors(), 2) << "still the same bad band";
    EXPECT_FALSE(curve.SetBandParam(2, 11, EqCurveModel::kType));
    EXPECT_FALSE(curve.SetBandParam(2, 2.5, EqCurveModel::kType));
    EXPECT_FALSE(curve.SetBandParam(-1, 1, EqCurveModel::kGain));
    for (int i = 15; i < 31; ++i)
        EXPECT_TRUE(curve.AddBand(1, 100, 1));
    EXPECT_FALSE(curve.AddBand(1, 100, 1));
    EXPECT_EQ(curve.BandCount(), 31);
}

// One row per filter type: over a grid of frequency, Q and gain the band's response matches the
// reference, the lyntctl path (TotalResponseAtHz) matches the curve, and setting −gain after
// +gain undoes it for the shelves and the peak.
class EqFilterRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(EqFilterRoundTrip, MatchesTheReferenceOverTheGrid) {
    const int type = GetParam();
    for (double f : {15.0, 25.0, 1000.0, 6300.0, 21000.0, 23000.0}) {
        for (double q : {0.3, 1.7, 8.0}) {
            for (double gain : {-12.0, -3.5, 0.005, 0.01, 6.0, 12.0}) {
                SCOPED_TRACE(std::to_string(f) + " Hz Q " + std::to_string(q) + " " +
                             std::to_string(gain) + " dB");
                EqCurveModel curve;
                curve.AddBand(0, 1000, 1);
                curve.SetBandParam(0, 6, EqCurveModel::kGain);  // coefficients kKeep keeps
                Biquad before = Reference(2, 1000, 6, 1);
                curve.SetBandParam(0, type, EqCurveModel::kType);
                curve.SetBandParam(0, f, EqCurveModel::kFrequency);
                curve.SetBandParam(0, q, EqCurveModel::kQ);
                curve.SetBandParam(0, gain, EqCurveModel::kGain);
                bool flat = std::fabs(gain) < 0.01;
                Biquad ref = type == 10 ? before : Reference(type, f, gain, q);
                const auto& r = curve.Band(0).response;
                for (int i = 0; i < 1024; i += 7) {
                    double want = flat ? 0.0 : ReferenceDb(ref, AxisHz(i));
                    ASSERT_NEAR(r[static_cast<size_t>(i)], want, 1e-6) << "point " << i;
                    ASSERT_NEAR(curve.TotalResponseAtHz(AxisHz(i)), want, 1e-6) << "point " << i;
                }
                if (type >= 1 && type <= 3 && !flat) {
                    std::vector<double> up = r;
                    curve.SetBandParam(0, -gain, EqCurveModel::kGain);
                    for (int i = 0; i < 1024; i += 7) {
                        ASSERT_NEAR(up[static_cast<size_t>(i)] + r[static_cast<size_t>(i)], 0.0,
                                    1e-7);
                    }
                }
            }
        }
    }
}

std::string TypeName(const ::testing::TestParamInfo<int>& info) {
    static const char* const kNames[] = {
        "Pass",        "LowShelf",     "Peaking",     "HighShelf",    "LowPassQ707", "HighPassQ707",
        "LowPassQ383", "HighPassQ383", "LowPassQ866", "HighPassQ866", "Keep"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(AllTypes, EqFilterRoundTrip, ::testing::Range(0, 11), TypeName);

}  // namespace
