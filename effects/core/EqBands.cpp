#include "EqBands.h"

#include <algorithm>
#include <cmath>

#include "WorkSpace.h"

namespace eq {

double GainOfParam(const model::ParamDescriptor& descriptor, int raw) {
    int value = std::clamp(raw, descriptor.minimum, descriptor.maximum);
    double gain = value * static_cast<double>(descriptor.scale) + descriptor.offset;
    // The scale is a float 0.1; without rounding every gain would carry about 1e-7 dB.
    return std::round(gain * 1e6) / 1e6;
}

void AddCardBands(EqCurveModel& curve) {
    for (double hz : kCardBandHz) {
        curve.AddBand(0.0, hz, kCardBandQ);
    }
    curve.Recalculate();
}

bool ShowParam(EqCurveModel& curve, int id, int raw) {
    if (id < model::kParamEqFirst || id > model::kParamEqLast) {
        return false;
    }
    const model::ParamDescriptor& d = model::ParamDescriptors()[static_cast<size_t>(id)];
    return curve.SetBandParam(id - model::kParamEqFirst, GainOfParam(d, raw), EqCurveModel::kGain);
}

void LoadCardBands(EqCurveModel& curve, const CWorkSpace& workspace) {
    if (curve.BandCount() == 0) {
        AddCardBands(curve);
    }
    for (int id = model::kParamEqFirst; id <= model::kParamEqLast; ++id) {
        ShowParam(curve, id, workspace.GetParam(id));
    }
}

}  // namespace eq
