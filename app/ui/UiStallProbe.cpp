#include "UiStallProbe.h"

#include "Log/Log.h"

#define LOG_SOURCE "app\\UiStallProbe"

namespace {
constexpr int kPeriodMs = 10;
constexpr int kReportMs = 30;  // each stall beyond this is logged with its time
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
    const qint64 late = now - m_last - kPeriodMs;
    if (late > kReportMs) {
        vlog::Write(vlog::kInfo, "ui", "CUiStallProbe", LOG_SOURCE, __LINE__,
                    "UI stall of %lld ms at %lld ms", static_cast<long long>(late),
                    static_cast<long long>(now));
    }
    m_longestMs = std::max(m_longestMs, late);
    m_last = now;
}
