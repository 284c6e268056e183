#pragma once

#include <array>

#include "EqCurveModel.h"
#include "ParamTables.h"

class CWorkSpace;

// The card's fifteen equaliser bands (parameters 9-23, "EQ_1" … "EQ_15"): peaking filters at
// fixed frequencies and Q; only the gain comes from the card. Shared by the equaliser dialog and
// lyntctl so both draw the same curve.
namespace eq {

inline constexpr int kCardBands = model::kParamEqLast - model::kParamEqFirst + 1;
inline constexpr std::array<double, kCardBands> kCardBandHz{
    25, 40, 63, 100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300, 10000, 16000};
inline constexpr double kCardBandQ = 1.7;

// The gain in dB of an equaliser parameter's raw value, clamped to the parameter's range first
// so a damaged record never draws beyond it.
double GainOfParam(const model::ParamDescriptor& descriptor, int raw);

// Adds the fifteen bands at 0 dB and computes them (the model is expected to be empty).
void AddCardBands(EqCurveModel& curve);

// Follows one parameter change: ids outside 9-23 are ignored. True when the curve needs a
// redraw.
bool ShowParam(EqCurveModel& curve, int id, int raw);

// The curve of the workspace's current effect: adds the fifteen bands when the model has none,
// then sets every band's gain from its parameter.
void LoadCardBands(EqCurveModel& curve, const CWorkSpace& workspace);

}  // namespace eq
