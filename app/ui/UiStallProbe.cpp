#include "UiStallProbe.h"

#include "Log/Log.h"

#define LOG_SOURCE "app\\UiStallProbe"

namespace {
constexpr int kPeriodMs = 10;
}

CUiStallProbe::CUiStallProbe() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kPeriodMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { OnTick(); });
    m_clock.start();
    m_last = m_clock.elapsed();
    m_timer.start();
}

CUiStallProbe::~CUiStallProbe() {
    vlog::Write(vlog::kInfo, "ui", "CUiStallProbe", LOG_SOURCE, __LINE__,
                "longest UI stall %lld ms", static_cast<long long>(m_longestMs));
}

bool CUiStallProbe::Wanted() { return qEnvironmentVariableIsSet("VELORA_UI_STALL_PROBE"); }

void CUiStallProbe::OnTick() {
    const qint64 now = m_clock.elapsed();
    m_longestMs = std::max(m_longestMs, now - m_last - kPeriodMs);
    m_last = now;
}
