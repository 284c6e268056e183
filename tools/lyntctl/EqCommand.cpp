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
        char* end = nullptr;
        if (in.args[i] == "--response" && i + 1 < in.args.size() && points == 0) {
            const std::string& n = in.args[++i];
            points = std::strtol(n.c_str(), &end, 10);
            if (!n.empty() && *end == '\0' && points >= 2 && points <= kMaxResponsePoints) {
                continue;
            }
        }
        in.out.Error("usage: lyntctl eq [--response N]   (N 2-" +
                     std::to_string(kMaxResponsePoints) + ")");
        return kExitUsage;
    }
    CTarget session(in.panel);
    if (int status = session->Open(in.device, in.out)) {
        return status;
    }
    const CWorkSpace& ws = session->Workspace();
    EqCurveModel curve;
    eq::LoadCardBands(curve, ws);
    for (int b = 0; b < eq::kCardBands; ++b) {
        const EqBand& band = curve.Band(b);
        const auto& d = ws.Descriptors()[static_cast<size_t>(model::kParamEqFirst + b)];
        Json::Value o;
        o["band"] = b + 1;
        o["name"] = ParamName(d);
        o["frequency_hz"] = band.frequency;
        o["gain_db"] = Rounded(band.gain, 10);
        o["q"] = band.q;
        o["type"] = eq::FilterTypeName(band.type);
        in.out.Emit(std::to_string(b + 1) + " " + ParamName(d) + " " +
                        Format("%g Hz", band.frequency) + " " + Format("%.1f dB", band.gain) + " " +
                        Format("Q %g", band.q) + " " + eq::FilterTypeName(band.type),
                    o);
    }
    for (long k = 0; k < points; ++k) {
        double hz = ResponseHz(k, points);
        double db = curve.TotalResponseAtHz(hz);
        Json::Value o;
        o["frequency_hz"] = Rounded(hz, 100);
        o["response_db"] = Rounded(db, 1000);
        in.out.Emit(Format("%.1f Hz ", hz) + Format("%.3f dB", db), o);
    }
    return kExitOk;
}

}  // namespace ctl
