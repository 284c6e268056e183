// lyntctl eq: the equaliser bands of the current effect and the curve they make, computed by the
// same band model as the panel's equaliser dialog.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "CtlSession.h"
#include "EqBands.h"
#include "ParamText.h"

namespace ctl {

namespace {

constexpr long kMaxResponsePoints = 100000;
constexpr double kResponseLowHz = 20.0;
constexpr double kResponseHighHz = 24000.0;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "low-pass 0.71" as an enumeration value for scripts: "low_pass_0.71".
std::string Identifier(std::string name) {
    for (char& c : name) {
        if (c == ' ' || c == '-')
            c = '_';
    }
    return name;
}

double Rounded(double value, double perUnit) {
    return std::round(value * perUnit) / perUnit;
}

// N ≥ 2 frequencies from 20 Hz to 24 kHz, both included, evenly spaced on a log scale.
double ResponseHz(long k, long n) {
    return kResponseLowHz *
           std::pow(kResponseHighHz / kResponseLowHz, static_cast<double>(k) / (n - 1));
}

}  // namespace

int CmdEq(const Invocation& in) {
    long points = 0;
    for (size_t i = 0; i < in.args.size(); ++i) {
        if (in.args[i] == "--response" && i + 1 < in.args.size() && points == 0 &&
            ParseDecimal(in.args[i + 1], 2, kMaxResponsePoints, &points)) {
            ++i;
            continue;
        }
        in.out.Error("usage: lyntctl eq [--response N]   (N 2-" +
                     std::to_string(kMaxResponsePoints) + ")");
        return kExitUsage;
    }
    // The stored values, which the card is given at each connection: reading them sends nothing.
    CTarget session(in.panel);
    const CWorkSpace& ws = session->Workspace();
    EqCurveModel curve;
    eq::LoadCardBands(curve, ws);
    for (int b = 0; b < eq::kCardBands; ++b) {
        const EqBand& band = curve.Band(b);
        const auto& d = ws.Descriptors()[static_cast<size_t>(model::kParamEqFirst + b)];
        Json::Value o;
        o["type"] = "band";
        o["band"] = b + 1;
        o["key"] = std::string(d.key);
        o["name"] = ParamName(d);
        o["frequency"] = JsonNumber(band.frequency);
        o["frequency_unit"] = "Hz";
        o["gain"] = JsonNumber(Rounded(band.gain, 10));
        o["gain_unit"] = "dB";
        o["q"] = JsonNumber(band.q);
        o["filter"] = Identifier(eq::FilterTypeName(band.type));
        in.out.Emit(std::to_string(b + 1) + " " + ParamName(d) + " " +
                        Format("%g Hz", band.frequency) + " " + Format("%.1f dB", band.gain) + " " +
                        Format("Q %g", band.q) + " " + eq::FilterTypeName(band.type),
                    o);
    }
    for (long k = 0; k < points; ++k) {
        double hz = ResponseHz(k, points);
        double db = curve.TotalResponseAtHz(hz);
        Json::Value o;
        o["type"] = "point";
        o["frequency"] = JsonNumber(Rounded(hz, 100));
        o["frequency_unit"] = "Hz";
        o["response"] = JsonNumber(Rounded(db, 1000));
        o["response_unit"] = "dB";
        in.out.Emit(Format("%.1f Hz ", hz) + Format("%.3f dB", db), o);
    }
    return kExitOk;
}

}  // namespace ctl
