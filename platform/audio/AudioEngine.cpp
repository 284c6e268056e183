#include "AudioEngine.h"

#include <mutex>

#include "ClipCache.h"

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

void PreloadClipMemory(const void* data, size_t bytes) {
    CClipCache::Instance().PreloadMemory(data, bytes);
}

void PreloadClipFile(const std::filesystem::path& path) {
    CClipCache::Instance().PreloadFile(path);
}

}  // namespace platform::audio
