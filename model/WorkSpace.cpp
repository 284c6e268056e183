#include "WorkSpace.h"

#include <algorithm>
#include <chrono>

#include "Log/Log.h"
#include "ModelEvents.h"
#include "ParamBatch.h"
#include "ParamEntries.h"
#include "QVAudioEvents.h"
#include "QVAudioProtocol.h"
#include "common/Device/ICommDeviceMgmt.h"

#define LOG_SOURCE "model\\WorkSpace"

using namespace model;

namespace {
int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

CWorkSpace::CWorkSpace(std::filesystem::path settingsFile, std::filesystem::path dataFolder)
    : m_dataFolder(std::move(dataFolder)),
      m_store(std::move(settingsFile)),
      m_descriptors(ParamDescriptors().begin(), ParamDescriptors().end()),
      m_switches(SwitchDescriptors().begin(), SwitchDescriptors().end()),
      m_groups(ParamGroups().begin(), ParamGroups().end()),
      m_clock(&SteadyMicroseconds) {
    for (const ParamDescriptor& d : m_descriptors) {
        m_current.params[d.id] = d.initial;
    }
    LoadStoredEffects();
    m_recvSubscription = ccm_util::CEventSubscription::Of<EventRecvData>(
        [this](const EventRecvData& e) { OnRecvDataEvent(e); });
}

CWorkSpace::~CWorkSpace() = default;

void CWorkSpace::SetDevice(ICommDeviceMgmt* manager, CQVAudioProtocol* protocol) {
    m_manager = manager;
    m_protocol = protocol;
}

bool CWorkSpace::IsCardReady() const {
    return m_manager && m_connected && m_manager->IsOpen();
}

const char* CWorkSpace::LineBusyReason() const {
    if (m_upgradingFlag && m_upgradingFlag->load() != 0) {
        return "the card's firmware is being written";
    }
    if ((m_loadingFlag && m_loadingFlag->load() != 0) ||
        (m_protocol && m_protocol->IsDownloading())) {
        return "an effect file or clip is loading to the card";
    }
    return nullptr;
}

void CWorkSpace::SetClock(std::function<int64_t()> clock) {
    m_clock = clock ? std::move(clock) : std::function<int64_t()>(&SteadyMicroseconds);
}

void CWorkSpace::RegisterBinder(IParamControlBinder* binder) {
    if (!binder) {
        return;
    }
    std::erase(m_binders, binder);
    m_binders.push_back(binder);
}

void CWorkSpace::UnregisterBinder(IParamControlBinder* binder) {
    std::erase(m_binders, binder);
}

IParamControlBinder* CWorkSpace::ActiveBinder() const {
    return m_binders.empty() ? nullptr : m_binders.back();
}

int CWorkSpace::GetParam(int id) const {
    return id >= 0 && id < kParamSlots ? m_current.params[id] : 0;
}

void CWorkSpace::SetParam(int id, int value) {
    if (!IsParamId(id)) {
        VLOG_ERROR("param", "CWorkSpace::SetParam", "no parameter %d", id);
        return;
    }
    if (m_current.params[id] == value) {
        return;
    }
    m_current.params[id] = value;
    if (IsCardReady()) {
        QueueParam(id, value);
        ScheduleFlush();
    }
}

void CWorkSpace::SendParam(int id, int value) {
    if (!IsParamId(id)) {
        VLOG_ERROR("param", "CWorkSpace::SendParam", "no parameter %d", id);
        return;
    }
    m_current.params[id] = value;
    if (IsCardReady()) {
        QueueParam(id, value);
    }
}

void CWorkSpace::OnParamEdited(int id, int value) {
    SetParam(id, value);
    if (id >= kParamEqFirst && id <= kParamEqLast) {
        FireParamChanged({{id, value}});
    }
}

void CWorkSpace::SetExciterBalance(int position) {
    position = std::clamp(position, -10, 10);
    const int bass = position < 0 ? 100 - 10 * position : 100;
    const int treble = position < 0 ? 100 : 100 + 10 * position;
    m_current.params[kParamExciterBass] = bass;
    m_current.params[kParamExciterTreble] = treble;
    if (IsCardReady()) {
        QueueParam(kParamExciterBass, bass);
        QueueParam(kParamExciterTreble, treble);
        ScheduleFlush();
    }
}

void CWorkSpace::ScheduleFlush() {
    if (m_flushSuspended) {
        return;
    }
    if (m_timerOwner) {
        m_timerOwner->StopTimer(kFlushTimerId);
    }
    const int64_t now = m_clock();
    const bool spaced = !m_flushedBefore || now - m_lastFlushUs >= int64_t{kFlushPeriodMs} * 1000;
    // Without a timer nothing could send the last edit later, so it goes at once.
    if (!m_timerOwner || spaced) {
        m_flushedBefore = true;
        m_lastFlushUs = now;
        FlushPending();
    } else {
        m_timerOwner->StartTimer(kFlushTimerId, kFlushPeriodMs);
    }
}

void CWorkSpace::OnFlushTimer(uint32_t timerId) {
    if (timerId != kFlushTimerId) {
        return;
    }
    if (m_timerOwner) {
        m_timerOwner->StopTimer(kFlushTimerId);
    }
    m_flushedBefore = true;
    m_lastFlushUs = m_clock();
    FlushPending();
}

bool CWorkSpace::FlushPending() {
    if (m_pending.empty()) {
        SettlePendingWaiters();
        return true;
    }
    if (!m_protocol) {
        VLOG_ERROR("param", "CWorkSpace::FlushPending", "sending %zu parameters failed",
                   m_pending.size());
        Waiters waiters;
        waiters.swap(m_pendingWaiters);
        for (auto& w : waiters) {
            w(false);
        }
        return false;
    }
    if (m_flushInFlight) {
        // A slow card: the edits made meanwhile follow the flush on its way as one batch,
        // instead of piling up a queue of stale ones.
        m_flushWanted = true;
        return true;
    }
    if (const char* busy = LineBusyReason()) {
        // The line is held: the edits wait for it, the timer looks again.
        VLOG_INFO("param", "CWorkSpace::FlushPending", "%zu parameters wait: %s", m_pending.size(),
                  busy);
        if (m_timerOwner) {
            m_timerOwner->StartTimer(kFlushTimerId, kFlushPeriodMs);
        }
        return true;
    }
    std::map<int, int> batch;
    batch.swap(m_pending);
    std::vector<card::Frame> frames = BuildSetParamsFrames(batch);
    CQVAudioProtocol* protocol = m_protocol;
    card::ICardWorker& worker = m_worker ? *m_worker : card::CInlineCardWorker::Instance();
    m_flushInFlight = true;
    m_reportedInFlight.clear();
    m_inFlightWaiters = std::move(m_pendingWaiters);
    m_pendingWaiters.clear();
    const unsigned generation = m_pendingGeneration;
    return worker.Submit(
        [protocol, frames = std::move(frames)] { return protocol->SendFrames(frames); },
        [this, generation, batch = std::move(batch)](bool sent) mutable {
            OnFlushAnswered(generation, std::move(batch), sent);
        });
}

void CWorkSpace::OnFlushAnswered(unsigned generation, std::map<int, int> batch, bool sent) {
    m_flushInFlight = false;
    Waiters waiters;
    waiters.swap(m_inFlightWaiters);
    for (auto& w : waiters) {
        w(sent);
    }
    if (!sent) {
        VLOG_ERROR("param", "CWorkSpace::FlushPending", "sending %zu parameters failed",
                   batch.size());
        if (generation == m_pendingGeneration) {
            // Edits made since are newer than the failed ones and stay, and so does a value the
            // card reported meanwhile (its knob): the failed one would overwrite it later.
            for (const auto& [id, value] : batch) {
                if (!m_reportedInFlight.contains(id)) {
                    m_pending.emplace(id, value);
                }
            }
        }
    }
    if (m_flushWanted) {
        m_flushWanted = false;
        FlushPending();
    }
}

void CWorkSpace::WhenSent(std::function<void(bool)> done) {
    if (!done) {
        return;
    }
    if (!m_pending.empty()) {
        m_pendingWaiters.push_back(std::move(done));
        if (!m_flushInFlight) {
            // Values a failed flush left behind go again now: nothing else would send them
            // before the next edit.
            if (m_timerOwner && !m_flushSuspended) {
                ScheduleFlush();
            } else {
                FlushPending();
            }
        }
    } else if (m_flushInFlight) {
        m_inFlightWaiters.push_back(std::move(done));
    } else {
        done(true);
    }
}

void CWorkSpace::SettlePendingWaiters() {
    if (m_pendingWaiters.empty()) {
        return;
    }
    Waiters waiters;
    waiters.swap(m_pendingWaiters);
    if (m_flushInFlight) {
        for (auto& w : waiters) {
            m_inFlightWaiters.push_back(std::move(w));
        }
        return;
    }
    for (auto& w : waiters) {
        w(true);
    }
}

bool CWorkSpace::StoreToSlot(int slot, std::function<void(bool)> done) {
    if (!m_protocol || LineBusyReason()) {
        if (done) {
            done(false);
        }
        return false;
    }
    CQVAudioProtocol* protocol = m_protocol;
    card::ICardWorker& worker = m_worker ? *m_worker : card::CInlineCardWorker::Instance();
    return worker.Submit([protocol, slot] { return protocol->StoreToSlot(slot); },
                         std::move(done));
}

void CWorkSpace::ClearPending() {
    m_pending.clear();
    ++m_pendingGeneration;
    // Waiters stay for the flush that follows (the new effect's values).
}

bool CWorkSpace::PushParams(bool all, bool full) {
    if (!IsCardReady()) {
        return false;
    }
    ClearPending();
    const bool downloaded = m_current.downloaded != 0;
    if (full && downloaded) {
        for (int id = 0; id <= 7; ++id) {
            QueueParam(id, m_current.params[id]);
        }
        for (int id = 38; id <= 45; ++id) {
            QueueParam(id, m_current.params[id]);
        }
        // An effect sent from a file keeps its own number: its source is a path, not an index.
        const bool fromFile = m_current.params[kParamEffectNumber] == kFileEffectNumber;
        QueueParam(kParamEffectNumber, fromFile
                                           ? kFileEffectNumber
                                           : DownloadedEffectNumber(RecordText(m_current.source)));
    } else if (full) {
        for (const ParamDescriptor& d : m_descriptors) {
            if (all || d.effect) {
                QueueParam(d.id, m_current.params[d.id]);
            }
        }
    } else if (downloaded || m_current.params[kParamEffectNumber] < kDownloadedEffectBase) {
        // The card holds these effects itself: their number is enough.
        QueueParam(kParamEffectNumber, m_current.params[kParamEffectNumber]);
    } else {
        for (const ParamDescriptor& d : m_descriptors) {
            if (d.effect) {
                QueueParam(d.id, m_current.params[d.id]);
            }
        }
    }
    return FlushPending();
}

void CWorkSpace::RefreshControls() {
    IParamControlBinder* binder = ActiveBinder();
    if (!binder) {
        return;
    }
    for (const ParamDescriptor& d : m_descriptors) {
        if (d.refresh && binder->HasControl(d.id)) {
            binder->ShowValue(d.id, m_current.params[d.id]);
        }
    }
    std::vector<std::pair<int32_t, int32_t>> eq;
    for (int id = kParamEqFirst; id <= kParamEqLast; ++id) {
        eq.emplace_back(id, m_current.params[id]);
    }
    FireParamChanged(std::move(eq));
}

void CWorkSpace::FireParamChanged(std::vector<std::pair<int32_t, int32_t>> params) const {
    EventParamChanged event;
    event.params = std::move(params);
    ccm_util::EventBus::Instance().Fire(event);
}

void CWorkSpace::OnRecvDataEvent(const EventRecvData& event) {
    const card::Frame& frame = event.data;
    if (frame[0] == card::RPT_LEVELS) {
        if (m_started) {
            ccm_util::EventBus::Instance().Fire(EventVolumeRecvData(frame));
        }
    } else if (frame[0] == card::RPT_PARAMS) {
        ApplyReport(frame);
    }
}

void CWorkSpace::ApplyReport(const card::Frame& frame) {
    std::vector<std::pair<int32_t, int32_t>> changed;
    bool presetChanged = false;
    bool stopped = false;
    // At most the 19 entries that fit in the frame, whatever its count byte claims.
    const int n = card::DecodeParamEntries(frame, [&](const card::ParamEntry& e) {
        if (stopped) {
            return;
        }
        int value = e.value;
        if (e.id == kParamEffectNumber && value < kBuiltinEffectCount) {
            // The card switched to one of its own effects: take over that effect's values.
            LoadEffect(m_builtins[static_cast<size_t>(BuiltinPositionOfEffectNumber(value))]);
            presetChanged = true;
        }
        if (!IsParamId(e.id)) {
            VLOG_ERROR("param", "CWorkSpace::OnRecvDataEvent", "report names parameter %d", e.id);
            stopped = true;
            return;
        }
        if (IsQuarterStepParam(e.id)) {
            value = (value & 0x80) | ((value & 0x7F) * 4);
        }
        m_current.params[e.id] = value;
        // The card's knob is newer than an edit still waiting to go: the edit would undo it.
        m_pending.erase(e.id);
        if (m_flushInFlight) {
            m_reportedInFlight.insert(e.id);
        }
        IParamControlBinder* binder = ActiveBinder();
        if (binder && binder->HasControl(e.id)) {
            binder->ShowValue(e.id, value);
        }
        changed.emplace_back(e.id, value);
    });
    if (presetChanged && m_pending.empty()) {
        SettlePendingWaiters();  // the card's own effect replaced what waited
    }
    if (stopped) {
        return;
    }
    RefreshControls();
    if (n > 0) {
        FireParamChanged(std::move(changed));
    }
    if (presetChanged) {
        ccm_util::EventBus::Instance().Post(std::make_shared<EventClearPresetBtnStatu>());
    }
}
