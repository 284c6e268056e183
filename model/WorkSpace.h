#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string_view>
#include <vector>

#include "BuiltinEffects.h"
#include "CardWorker.h"
#include "EffectFile.h"
#include "EffectFrames.h"
#include "EffectRecords.h"
#include "EffectStore.h"
#include "IFlushTimerOwner.h"
#include "IParamControlBinder.h"
#include "ParamTables.h"
#include "ccm_util/EventBus.h"

class CQVAudioProtocol;
class EventRecvData;
class ICommDeviceMgmt;

// The program's model of the card: the live value of every parameter (held in the current
// effect record), the edits waiting to be sent, the effects and presets with their storage, and
// the sending of effect files. Everything here runs on the UI thread; frames the card sends on
// its own arrive as EventRecvData posted from the receive thread.
class CWorkSpace {
public:
    static constexpr uint32_t kFlushTimerId = 1000;
    static constexpr uint32_t kFlushPeriodMs = 500;
    static constexpr int kCustomSlots = 12;
    static constexpr int kPresetCustomFirst = 5;  // custom presets follow the five named ones
    static constexpr int kPresetCustomSlots = 5;

    // settingsFile holds the records; files of downloaded effects live under dataFolder/CloudEff.
    CWorkSpace(std::filesystem::path settingsFile, std::filesystem::path dataFolder);
    ~CWorkSpace();
    CWorkSpace(const CWorkSpace&) = delete;
    CWorkSpace& operator=(const CWorkSpace&) = delete;

    // ---- The card, as the connection logic sets it up.
    void SetDevice(ICommDeviceMgmt* manager, CQVAudioProtocol* protocol);
    // Where the sends that wait for the card run; without one they run at once. The worker must
    // be destroyed before the workspace.
    void SetCardWorker(card::ICardWorker* worker) { m_worker = worker; }
    ICommDeviceMgmt* DeviceMgmt() const { return m_manager; }
    CQVAudioProtocol* Protocol() const { return m_protocol; }
    void SetConnected(bool connected) { m_connected = connected; }
    bool IsConnected() const { return m_connected; }
    // Set after the start-up exchange; level frames reach the UI only while it is set.
    void SetStarted(bool started) { m_started = started; }
    bool IsStarted() const { return m_started; }
    // A device manager is present, the card is connected and its transport open.
    bool IsCardReady() const;
    // The program's flags for a transfer that holds the line (an effect file or clip loading)
    // and for the firmware write; either may be null. While one is up nothing else goes to the
    // card: edits wait (the flush timer tries again), slot stores are refused.
    void SetLineFlags(const std::atomic<int>* loading, const std::atomic<int>* upgrading) {
        m_loadingFlag = loading;
        m_upgradingFlag = upgrading;
    }
    // Why nothing may be sent to the card now, or null when it may.
    const char* LineBusyReason() const;

    // ---- Deferred flush. The owner's timer calls OnFlushTimer when it fires.
    void SetFlushTimerOwner(IFlushTimerOwner* owner) { m_timerOwner = owner; }
    // Suspended: edits are queued but never flushed automatically.
    void SetFlushSuspended(bool suspended) { m_flushSuspended = suspended; }
    bool IsFlushSuspended() const { return m_flushSuspended; }
    void OnFlushTimer(uint32_t timerId);
    // The monotonic clock, in microseconds, the flush spacing is measured with (tests and
    // benchmarks replace it; null restores the steady clock). Finer than a millisecond tick, so
    // that a drag of exactly one second never counts as three 500 ms periods.
    void SetClock(std::function<int64_t()> clock);

    // ---- The control binder of the page or dialog on top; the last one registered is active.
    void RegisterBinder(IParamControlBinder* binder);
    // A binder that goes away unregisters; the one registered before it becomes active again.
    void UnregisterBinder(IParamControlBinder* binder);
    IParamControlBinder* ActiveBinder() const;

    // ---- Parameters.
    const std::vector<model::ParamDescriptor>& Descriptors() const { return m_descriptors; }
    const std::vector<model::ParamDescriptor>& SwitchDescriptorList() const { return m_switches; }
    const std::vector<model::ParamGroup>& Groups() const { return m_groups; }

    int GetParam(int id) const;
    void SetParam(int id, int value);
    // A value asked for outright (lyntctl set): it goes to the card with the next flush even when
    // the workspace holds it already, so that the flush's answer says whether the card has it.
    void SendParam(int id, int value);
    // An edit made by the user on a bound control; the equaliser curve follows ids 9-23.
    void OnParamEdited(int id, int value);
    // Balance slider position -10 … 10: bass and treble of the exciter.
    void SetExciterBalance(int position);
    void ScheduleFlush();
    // Sends what is pending; on failure it stays pending for the next flush, unless newer values
    // replaced it meanwhile. With a card worker the send runs there, and while one flush is on
    // its way the next edits wait for it and go out together.
    bool FlushPending();
    // A flush handed to the card worker has not finished yet.
    bool IsFlushInFlight() const { return m_flushInFlight; }
    // done learns, on the UI thread, whether the card took the edits made so far: once the flush
    // that carries the last of them was answered (false when it failed), at once when none waits.
    // Edits replaced before they went out wait for the flush of what replaced them. Edits still
    // pending go out now, or with the owner's flush timer when the last flush was too recent.
    void WhenSent(std::function<void(bool)> done);
    bool PushParams(bool all, bool full);
    void RefreshControls();
    const std::map<int, int>& Pending() const { return m_pending; }
    // Tells the card to keep its current effect in remote-control slot 1 or 2, in turn with the
    // other sends; done (may be empty) learns on the UI thread whether the card took it.
    bool StoreToSlot(int slot, std::function<void(bool)> done);

    void OnRecvDataEvent(const EventRecvData& event);

    // ---- Effects and presets.
    const model::EffectRecord& CurrentEffect() const { return m_current; }
    const std::array<model::EffectRecord, model::kBuiltinEffectCount>& BuiltinEffectList() const {
        return m_builtins;
    }
    const std::array<model::EffectRecord, kCustomSlots>& CustomEffects() const { return m_custom; }
    const std::vector<model::CloudEffectEntry>& DownloadedEffects() const { return m_downloaded; }
    void AddDownloadedEffect(const model::CloudEffectEntry& entry) {
        m_downloaded.push_back(entry);
    }
    // A finished cloud download: kept in the list and stored in the settings file.
    bool RecordDownloadedEffect(const model::CloudEffectEntry& entry) {
        m_downloaded.push_back(entry);
        return m_store.AppendDownloadedEffect(entry);
    }
    // The preset list of a group (empty for an unknown group).
    const std::vector<model::GroupPresetRecord>& GroupPresets(int group) const;

    // Makes the record's effect parameters, name and source current without sending anything.
    void LoadEffect(const model::EffectRecord& record);
    bool ApplyBuiltinEffect(int position);
    bool ApplyMyCustomEffect(int slot);
    bool SelectDownloadedEffect(int n, std::u16string_view name);
    // Sends the record's effect parameters; the workspace's own values stay as they are.
    bool SendEffectRecord(const model::EffectRecord& record);
    bool SelectEffectNumber(int number);
    void SetFileEffect(std::u16string_view name, const std::filesystem::path& path);
    bool SaveMyCustomEffect(int slot, std::u16string_view name);
    bool AddDownloadedToMyCustom(std::u16string_view name, std::u16string_view numberText,
                                 int slot);
    bool SaveDeviceCustomEffect(int slot, const model::EffectRecord& record, int downloaded);
    bool ResetDeviceCustomEffect(int position);
    bool ApplyGroupPreset(int group, int position);
    bool RestoreGroupFromEffect(int group);
    bool SaveCustomPreset(std::u16string_view name, int group, int slot);
    bool PresetNameExists(int group, int excludeSlot, std::u16string_view name) const;
    void SetSelectedPreset(int group, int position);
    int GetSelectedPreset(int group) const;
    void ClearSelectedPresets() { m_selectedPresets.clear(); }
    // Stores the current effect for the next start ("LastStatus"/"CurrentEffect").
    bool SaveCurrentEffect() const;

    // ---- Effect files.
    // Reads the file, applies its parameter values and starts sending it to the card. False when
    // the file is unusable or a download runs already (nothing is sent then).
    bool LoadEffectFile(const std::filesystem::path& path);
    void ApplyParamSection(std::span<const model::EffectParamRecord> records);
    const model::EffectFileHeader& LastEffectFileHeader() const { return m_effectHeader; }
    const model::EffectDownloadCaps& DownloadCaps() const { return m_caps; }

private:
    void LoadStoredEffects();
    void QueueParam(int id, int value) { m_pending[id] = value; }
    // Drops what is pending; a failed flush still on its way no longer puts its values back.
    void ClearPending();
    void OnFlushAnswered(unsigned generation, std::map<int, int> batch, bool sent);
    // Waiters for edits no longer pending follow the flush in flight, or are told at once.
    void SettlePendingWaiters();
    void FireParamChanged(std::vector<std::pair<int32_t, int32_t>> params) const;
    void ApplyReport(const std::array<uint8_t, 64>& frame);
    bool DeleteReplacedEffectFile(const model::EffectRecord& replaced, int slot,
                                  const model::EffectRecord& replacement) const;

    std::filesystem::path m_dataFolder;
    model::CEffectStore m_store;

    std::vector<model::ParamDescriptor> m_descriptors;
    std::vector<model::ParamDescriptor> m_switches;
    std::vector<model::ParamGroup> m_groups;

    model::EffectRecord m_current{};
    std::map<int, int> m_pending;
    std::set<int> m_reportedInFlight;  // ids the card reported while a batch was on its way
    unsigned m_pendingGeneration = 0;
    bool m_flushInFlight = false;
    bool m_flushWanted = false;
    using Waiters = std::vector<std::function<void(bool)>>;
    Waiters m_pendingWaiters;   // for the edits in m_pending
    Waiters m_inFlightWaiters;  // for the flush on its way
    card::ICardWorker* m_worker = nullptr;
    const std::atomic<int>* m_loadingFlag = nullptr;
    const std::atomic<int>* m_upgradingFlag = nullptr;

    IFlushTimerOwner* m_timerOwner = nullptr;
    bool m_flushSuspended = false;
    bool m_flushedBefore = false;
    int64_t m_lastFlushUs = 0;
    std::function<int64_t()> m_clock;

    ICommDeviceMgmt* m_manager = nullptr;
    CQVAudioProtocol* m_protocol = nullptr;
    bool m_connected = false;
    bool m_started = false;

    std::vector<IParamControlBinder*> m_binders;

    std::array<model::EffectRecord, model::kBuiltinEffectCount> m_builtins{};
    std::array<model::EffectRecord, kCustomSlots> m_custom{};
    std::vector<model::CloudEffectEntry> m_downloaded;
    std::array<std::vector<model::GroupPresetRecord>, model::kGroupCount> m_presets;
    std::map<int, int> m_selectedPresets;

    model::EffectFileHeader m_effectHeader;
    model::EffectDownloadCaps m_caps;

    ccm_util::CEventSubscription m_recvSubscription;
};
