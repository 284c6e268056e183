#include "AudioEngine.h"

#include <mutex>

namespace platform::audio {
namespace {

std::mutex& FactoryMutex() {
    static std::mutex mutex;
    return mutex;
}

AudioEngineFactory& Factory() {
    static AudioEngineFactory factory;
    return factory;
}

}  // namespace

void SetAudioEngineFactory(AudioEngineFactory factory) {
    std::lock_guard lock(FactoryMutex());
    Factory() = std::move(factory);
}

std::unique_ptr<IAudioEngine> CreateAudioEngine() {
    AudioEngineFactory factory;
    {
        std::lock_guard lock(FactoryMutex());
        factory = Factory();
    }
    return factory ? factory() : nullptr;
}

}  // namespace platform::audio
