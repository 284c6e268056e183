#include "EqPlotGeometry.h"

#include <algorithm>
#include <cmath>

#include "EqFilter.h"
#include "EqFreqAxis.h"

namespace {

EqPlotAttributes InRange(EqPlotAttributes a) {
    a.zeroXFreq = std::clamp(a.zeroXFreq, EqFreqAxis::kMinZeroXFreq, EqFreqAxis::kMaxZeroXFreq);
    a.nKedu = std::max(a.nKedu, 1);
    a.dbKeduVal = std::max(a.dbKeduVal, 1);
    a.dbMin = std::min(a.dbMin, a.dbMax - 1);
    return a;
}

std::string FrequencyLabel(int hz) {
    switch (hz) {
        case 20:
        case 50:
        case 100:
        case 200:
        case 500:
            return std::to_string(hz) + "Hz";
        case 1000:
        case 2000:
        case 5000:
        case 10000:
        case 20000:
            return std::to_string(hz / 1000) + "kHz";
        default:
            return {};
    }
}

}  // namespace

EqPlotGeometry::EqPlotGeometry(const EqPlotAttributes& attributes, const EqRect& client)
    : m_a(InRange(attributes)), m_client(client) {
    m_rowHeight = (client.bottom - m_a.bdist - client.top - m_a.tdist) / m_a.nKedu;
    m_plotHeight = m_a.nKedu * m_rowHeight;
    m_plotTop = client.top + m_a.tdist;
    m_plotWidth = client.right - m_a.rdist - m_a.ldist - client.left;
    m_plotLeft = client.left + m_a.ldist;
    m_decades = std::log10(eq::kNyquistHz) - std::log10(static_cast<double>(m_a.zeroXFreq));
    m_pixelsPerDecade = m_plotWidth / m_decades;
    m_pixelsPerPoint = static_cast<double>(m_plotWidth) / EqFreqAxis::kPoints;
    m_pixelsPerDb = static_cast<double>(m_plotHeight) / (m_a.dbMax - m_a.dbMin);
    m_zeroY = static_cast<int>(std::trunc(m_a.dbMax * m_pixelsPerDb)) + m_a.tdist + client.top;
}

double EqPlotGeometry::DbAtY(double y) const {
    return m_pixelsPerDb != 0.0 ? (m_zeroY - y) / m_pixelsPerDb : 0.0;
}

double EqPlotGeometry::XOfHz(double hz) const {
    return m_plotLeft + (std::log10(hz) - std::log10(static_cast<double>(m_a.zeroXFreq))) *
                            m_plotWidth / m_decades;
}

double EqPlotGeometry::HzAtX(double x) const {
    if (m_plotWidth == 0) {
        return m_a.zeroXFreq;
    }
    return m_a.zeroXFreq * std::pow(10.0, (x - m_plotLeft) * m_decades / m_plotWidth);
}

int EqPlotGeometry::GridLineX(double hz) const {
    return m_plotLeft + static_cast<int>(std::trunc(
                            (std::log10(hz) - std::log10(static_cast<double>(m_a.zeroXFreq))) *
                            m_plotWidth / m_decades));
}

std::vector<EqGridLine> EqPlotGeometry::HorizontalLines() const {
    std::vector<EqGridLine> lines;
    int step = (m_a.dbMax - m_a.dbMin) / m_a.nKedu;
    for (int k = 0; k <= m_a.nKedu; ++k) {
        int value = m_a.dbMax - k * step;
        std::string label = value % m_a.dbKeduVal == 0 ? std::to_string(value) + "dB" : "";
        lines.push_back({m_plotTop + k * m_rowHeight, value, std::move(label)});
    }
    return lines;
}

std::vector<EqGridLine> EqPlotGeometry::VerticalLines() const {
    std::vector<int> hz{m_a.zeroXFreq};
    for (int decade : {10, 100, 1000}) {
        for (int m = decade == 10 ? 2 : 1; m <= 9; ++m)
            hz.push_back(m * decade);
    }
    hz.push_back(10000);
    hz.push_back(20000);
    std::vector<EqGridLine> lines;
    for (int f : hz) {
        // The first, zeroXFreq at the left edge, is never labelled: at 20 Hz the next line is.
        lines.push_back({GridLineX(f), f, lines.empty() ? "" : FrequencyLabel(f)});
    }
    return lines;
}
