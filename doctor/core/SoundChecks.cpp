// The sound server and the card's devices on it, asked once over the PulseAudio protocol (which
// PipeWire serves too), so the doctor sees what the audio engine sees.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>

#include "CardDeviceName.h"
#include "Doctor.h"

namespace doctor {

namespace {

struct SoundState {
    bool ready = false;
    bool failed = false;
    int pending = 0;  // answers still to come once connected
    std::string error;
    std::string serverName;
    std::string serverVersion;
    std::string playback;  // the card's devices, by description
    std::string capture;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* user) {
    auto* s = static_cast<SoundState*>(user);
    if (info) {
        s->serverName = info->server_name ? info->server_name : "";
        s->serverVersion = info->server_version ? info->server_version : "";
    }
    --s->pending;
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
    auto* s = static_cast<SoundState*>(user);
    if (eol) {
        --s->pending;
        return;
    }
    if (info && info->description && s->playback.empty() &&
        platform::audio::NamesCardDevice(info->description)) {
        s->playback = info->description;
    }
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* user) {
    auto* s = static_cast<SoundState*>(user);
    if (eol) {
        --s->pending;
        return;
    }
    // A sink's monitor is not a capture device the engine is offered.
    if (info && info->description && info->monitor_of_sink == PA_INVALID_INDEX &&
        s->capture.empty() && platform::audio::NamesCardDevice(info->description)) {
        s->capture = info->description;
    }
}

void OnState(pa_context* context, void* user) {
    auto* s = static_cast<SoundState*>(user);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            s->ready = true;
            s->pending = 3;
            pa_operation_unref(pa_context_get_server_info(context, OnServerInfo, s));
            pa_operation_unref(pa_context_get_sink_info_list(context, OnSink, s));
            pa_operation_unref(pa_context_get_source_info_list(context, OnSource, s));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            s->failed = true;
            s->error = pa_strerror(pa_context_errno(context));
            break;
        default:
            break;
    }
}

struct MainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextUnref {
    void operator()(pa_context* c) const {
        // Our own disconnect is no failure to report.
        pa_context_set_state_callback(c, nullptr, nullptr);
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};

// Asks the server; false when it could not be reached within timeoutMs (error set).
bool AskServer(SoundState& s, int timeoutMs) {
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop) {
        s.error = "pa_mainloop_new";
        return false;
    }
    {
        std::unique_ptr<pa_context, ContextUnref> context(
            pa_context_new(pa_mainloop_get_api(loop.get()), "velora doctor"));
        if (!context) {
            s.error = "pa_context_new";
            return false;
        }
        pa_context_set_state_callback(context.get(), OnState, &s);
        // No autospawn: the doctor reports a missing server, it does not start one.
        if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            s.error = pa_strerror(pa_context_errno(context.get()));
            return false;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!s.failed && !(s.ready && s.pending == 0)) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                s.error = "声音服务器在 " + std::to_string(timeoutMs) + " 毫秒内没有回答";
                s.failed = true;
                break;
            }
            if (pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
                pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0) {
                s.error = "pa_mainloop";
                s.failed = true;
            }
        }
        // The context goes before its loop.
    }
    return !s.failed;
}

std::string ServerText(const SoundState& s) {
    // PipeWire's pulse server calls itself "PulseAudio (on PipeWire 0.3.65)".
    if (s.serverName.find("PipeWire") != std::string::npos) {
        return "PipeWire（" + s.serverName + "，协议版本 " + s.serverVersion + "）";
    }
    return "PulseAudio " + s.serverVersion;
}

CheckResult DeviceResult(const char* id, const char* title, const char* kind,
                         const std::string& found, bool serverUp) {
    CheckResult r{id, title, Level::Ok, {}, {}};
    if (!found.empty()) {
        r.found = "找到“" + found + "”";
        return r;
    }
    r.level = Level::Fail;
    if (!serverUp) {
        r.found = "没有声音服务器，无法查找声卡的" + std::string(kind) + "设备";
        r.todo = "先让声音服务器运行起来（见上一项）";
        return r;
    }
    r.found = "声音服务器中没有名字含“" + std::string(platform::audio::kCardDeviceNameUtf8) +
              "”的" + kind + "设备";
    r.todo = "确认声卡已接上，并在系统的声音设置中启用它（配置文件不能是“关”）";
    return r;
}

}  // namespace

std::vector<CheckResult> CheckSound(const Options& options) {
    SoundState state;
    const bool up = AskServer(state, options.timeoutMs);
    CheckResult server{"sound_server", "声音服务器", Level::Ok, {}, {}};
    if (up) {
        server.found = ServerText(state);
    } else {
        server.level = Level::Fail;
        server.found = "连接不上声音服务器：" + state.error;
        server.todo =
            "启动 PipeWire（systemctl --user start pipewire pipewire-pulse）或 "
            "PulseAudio（pulseaudio --start）；设置了 PULSE_SERVER 时检查它指向的地址";
    }
    return {server, DeviceResult("audio_playback", "声卡播放设备", "播放", state.playback, up),
            DeviceResult("audio_capture", "声卡录音设备", "录音", state.capture, up)};
}

}  // namespace doctor
