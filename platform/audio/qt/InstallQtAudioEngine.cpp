#include "InstallQtAudioEngine.h"

#include <QCoreApplication>

#include <memory>

#include "AudioEngine.h"
#include "AudioEngineImpl.h"
#include "QtAudioDevices.h"

namespace platform::audio {
namespace {

void Uninstall() {
    // Engines still alive keep the devices; the last one to go closes them.
    SetAudioEngineFactory(nullptr);
}

}  // namespace

void InstallQtAudioEngine() {
    auto devices = std::make_shared<CQtAudioDevices>();
    SetAudioEngineFactory([devices]() -> std::unique_ptr<IAudioEngine> {
        return std::make_unique<CAudioEngine>(devices);
    });
    qAddPostRoutine(Uninstall);
}

}  // namespace platform::audio
