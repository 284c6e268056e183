#include "ClipSynth.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <random>

#include "Mp3Encoder.h"

namespace clipgen {
namespace {

constexpr int kRate = 44100;
constexpr double kTwoPi = 2 * std::numbers::pi;

// A stereo float buffer the recipes mix into; converted to 16 bits once at the end.
struct Mix {
    explicit Mix(double seconds) : left(static_cast<size_t>(seconds * kRate)), right(left.size()) {}
    std::vector<float> left, right;
    size_t Size() const { return left.size(); }
    // Adds one voice at start seconds, pan -1 (left) .. 1 (right).
    void Add(double start, const std::vector<float>& voice, double pan = 0, double gain = 1) {
        const size_t at = static_cast<size_t>(start * kRate);
        const float gl = static_cast<float>(gain * std::sqrt((1 - pan) / 2));
        const float gr = static_cast<float>(gain * std::sqrt((1 + pan) / 2));
        for (size_t i = 0; i < voice.size() && at + i < Size(); ++i) {
            left[at + i] += voice[i] * gl;
            right[at + i] += voice[i] * gr;
        }
    }
};

size_t Samples(double seconds) {
    return static_cast<size_t>(seconds * kRate);
}

// Attack-decay envelope value at time t of a note lasting len seconds.
double Envelope(double t, double len, double attack = 0.01, double release = 0.08) {
    if (t < 0 || t > len)
        return 0;
    const double a = std::min(1.0, t / attack);
    const double r = std::min(1.0, (len - t) / release);
    return a * r;
}

// A tone with a few harmonics (brightness 0..1), optional vibrato and a pitch glide.
std::vector<float> Tone(double hz, double len, double brightness, double glideTo = 0,
                        double vibrato = 0) {
    std::vector<float> v(Samples(len));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double f = glideTo > 0 ? hz + (glideTo - hz) * (t / len) : hz;
        f *= 1 + vibrato * std::sin(kTwoPi * 5.5 * t);
        phase += kTwoPi * f / kRate;
        double s = 0;
        double norm = 0;
        for (int h = 1; h <= 6; ++h) {
            const double g = std::pow(brightness, h - 1) / h;
            s += g * std::sin(phase * h);
            norm += g;
        }
        v[i] = static_cast<float>(s / norm * Envelope(t, len));
    }
    return v;
}

// Noise through a one-pole filter: low 0..1 (1 = dull), shaped by an exponential decay.
std::vector<float> NoiseBurst(std::mt19937& rng, double len, double decay, double low) {
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> v(Samples(len));
    float state = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        state = static_cast<float>(low * state + (1 - low) * u(rng));
        v[i] = static_cast<float>(state * std::exp(-t * decay) * std::min(1.0, t / 0.002));
    }
    return v;
}

// One laughing voice: "ha" syllables, a voiced tone with breath, falling in pitch.
std::vector<float> Laugh(std::mt19937& rng, double pitch, int syllables) {
    std::uniform_real_distribution<double> jitter(0.9, 1.1);
    const double syl = 0.16;
    std::vector<float> v(Samples(syllables * syl + 0.2));
    for (int k = 0; k < syllables; ++k) {
        const double f = pitch * jitter(rng) * (1 - 0.04 * k);
        auto tone = Tone(f, syl * 0.75, 0.7);
        auto breath = NoiseBurst(rng, syl * 0.75, 10, 0.85);
        const size_t at = Samples(k * syl);
        for (size_t i = 0; i < tone.size() && at + i < v.size(); ++i) {
            v[at + i] += 0.8f * tone[i] + 0.2f * breath[i];
        }
    }
    return v;
}

double MidiHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Plays a melody: (midi note or 0 for rest, beats) at tempo bpm.
void Melody(Mix& mix, double start, double bpm, const std::vector<std::pair<int, double>>& notes,
            double brightness, double gain, double pan = 0) {
    double t = start;
    const double beat = 60.0 / bpm;
    for (const auto& [note, beats] : notes) {
        if (note > 0)
            mix.Add(t, Tone(MidiHz(note), beats * beat * 0.95, brightness), pan, gain);
        t += beats * beat;
    }
}

std::vector<float> Kick() {
    std::vector<float> v(Samples(0.25));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += kTwoPi * (50 + 100 * std::exp(-t * 30)) / kRate;
        v[i] = static_cast<float>(std::sin(phase) * std::exp(-t * 12));
    }
    return v;
}

using Recipe = std::function<void(Mix&, std::mt19937&)>;

void Crowd(Mix& mix, std::mt19937& rng, int voices, double spread) {
    std::uniform_real_distribution<double> start(0, spread), pitch(170, 330), pan(-0.8, 0.8);
    std::uniform_int_distribution<int> syl(5, 9);
    for (int i = 0; i < voices; ++i) {
        mix.Add(start(rng), Laugh(rng, pitch(rng), syl(rng)), pan(rng), 0.9 / std::sqrt(voices));
    }
}

const std::map<std::string, std::pair<double, Recipe>>& Recipes() {
    static const std::map<std::string, std::pair<double, Recipe>> recipes = {
        {"DJ_DHX", {2.6, [](Mix& m, std::mt19937& r) { Crowd(m, r, 9, 0.8); }}},
        {"DJ_XHX", {1.6, [](Mix& m, std::mt19937& r) { Crowd(m, r, 3, 0.3); }}},
        {"DJ_QX", {3.0, [](Mix& m, std::mt19937& r) { Crowd(m, r, 14, 1.4); }}},
        {"DJ_ZS",  // applause: many short hand claps
         {3.0,
          [](Mix& m, std::mt19937& r) {
              std::uniform_real_distribution<double> t(0, 2.6), pan(-1, 1), g(0.2, 0.5);
              for (int i = 0; i < 260; ++i)
                  m.Add(t(r), NoiseBurst(r, 0.05, 70, 0.3), pan(r), g(r));
          }}},
        {"DJ_QZ",  // a kiss: a smack and a little pop
         {0.7,
          [](Mix& m, std::mt19937& r) {
              m.Add(0.05, NoiseBurst(r, 0.08, 60, 0.1), 0, 0.6);
              m.Add(0.1, Tone(900, 0.06, 0.3, 1500), 0, 0.5);
          }}},
        {"DJ_BS",  // contempt: a low falling raspberry
         {1.5,
          [](Mix& m, std::mt19937& r) {
              m.Add(0, Tone(220, 1.3, 0.9, 110, 0.03), 0, 0.6);
              m.Add(0, NoiseBurst(r, 1.3, 1.5, 0.8), 0, 0.25);
          }}},
        {"DJ_DEG",  // a slap: a sharp crack on a dull thump
         {0.6,
          [](Mix& m, std::mt19937& r) {
              m.Add(0.02, NoiseBurst(r, 0.25, 35, 0.05), 0, 0.9);
              m.Add(0.02, Tone(120, 0.15, 0.2, 70), 0, 0.5);
          }}},
        {"DJ_DGZ",  // "follow": a rising chime
         {1.6,
          [](Mix& m, std::mt19937&) {
              Melody(m, 0, 240, {{72, 1}, {76, 1}, {79, 1}, {84, 3}}, 0.35, 0.5);
          }}},
        {"DJ_GG",  // awkward silence: crickets
         {2.6,
          [](Mix& m, std::mt19937&) {
              for (int i = 0; i < 6; ++i) {
                  for (int c = 0; c < 3; ++c) {
                      m.Add(0.1 + i * 0.42 + c * 0.05, Tone(4400, 0.03, 0.1), i % 2 ? 0.4 : -0.4,
                            0.3);
                  }
              }
          }}},
        {"DJ_GQ",  // an awkward tune, slightly out of tune
         {4.0,
          [](Mix& m, std::mt19937&) {
              Melody(m, 0, 100, {{60, 1}, {61, 1}, {60, 1}, {58, 1}, {57, 2}, {0, 0.5}, {56, 1.5}},
                     0.5, 0.45);
          }}},
        {"DJ_JQ",  // a machine gun: fast bursts
         {2.0,
          [](Mix& m, std::mt19937& r) {
              for (int i = 0; i < 22; ++i) {
                  m.Add(i * 0.085, NoiseBurst(r, 0.07, 45, 0.2), 0, 0.8);
                  m.Add(i * 0.085, Tone(80, 0.05, 0.2), 0, 0.4);
              }
          }}},
        {"DJ_WYFG",  // a crow flies past: three harsh caws moving across
         {2.6,
          [](Mix& m, std::mt19937& r) {
              for (int i = 0; i < 3; ++i) {
                  m.Add(0.1 + i * 0.75, Tone(620, 0.45, 0.95, 480, 0.02), -0.8 + 0.8 * i, 0.5);
                  m.Add(0.1 + i * 0.75, NoiseBurst(r, 0.45, 4, 0.5), -0.8 + 0.8 * i, 0.15);
              }
          }}},
        {"DJ_HQ",  // a party loop: kick, bass and a bright lead
         {5.0,
          [](Mix& m, std::mt19937&) {
              for (int b = 0; b < 10; ++b)
                  m.Add(b * 0.5, Kick(), 0, 0.7);
              for (int b = 0; b < 10; ++b) {
                  m.Add(b * 0.5 + 0.25, Tone(MidiHz(b % 4 < 2 ? 33 : 36), 0.22, 0.6), 0, 0.35);
              }
              Melody(m, 0, 240,
                     {{69, 1},
                      {72, 1},
                      {76, 1},
                      {72, 1},
                      {74, 1},
                      {77, 1},
                      {81, 2},
                      {76, 1},
                      {72, 1},
                      {69, 1},
                      {72, 1},
                      {71, 2},
                      {69, 4}},
                     0.8, 0.25, 0.3);
          }}},
        {"DJ_KQ",  // a let-down: the falling "wah wah wah"
         {3.2,
          [](Mix& m, std::mt19937&) {
              m.Add(0.0, Tone(MidiHz(55), 0.5, 0.85, 0, 0.01), 0, 0.5);
              m.Add(0.6, Tone(MidiHz(54), 0.5, 0.85, 0, 0.01), 0, 0.5);
              m.Add(1.2, Tone(MidiHz(53), 0.5, 0.85, 0, 0.01), 0, 0.5);
              m.Add(1.8, Tone(MidiHz(52), 1.3, 0.85, 0, 0.04), 0, 0.5);
          }}},
        {"DJ_LQ",  // a ceremony: a brass fanfare
         {4.0,
          [](Mix& m, std::mt19937&) {
              Melody(m, 0, 150, {{60, 0.5}, {60, 0.5}, {60, 0.5}, {64, 1.5}, {67, 1}, {72, 3}},
                     0.85, 0.35, -0.2);
              Melody(m, 0, 150, {{48, 2}, {55, 2}, {48, 3}}, 0.7, 0.3, 0.2);
          }}},
    };
    return recipes;
}

int16_t ToSample(float v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

}  // namespace

const std::vector<std::string>& BuiltinClipNames() {
    static const std::vector<std::string> names = {"DJ_DHX", "DJ_XHX",  "DJ_ZS",  "DJ_QZ", "DJ_BS",
                                                   "DJ_QX",  "DJ_DEG",  "DJ_DGZ", "DJ_GG", "DJ_GQ",
                                                   "DJ_JQ",  "DJ_WYFG", "DJ_HQ",  "DJ_KQ", "DJ_LQ"};
    return names;
}

bool SynthesiseBuiltin(std::string_view resource, Pcm& out) {
    const auto it = Recipes().find(std::string(resource));
    if (it == Recipes().end()) {
        return false;
    }
    // Each clip has its own seed, so changing one recipe leaves the others as they were.
    uint32_t seed = 2166136261u;  // FNV-1a: the same on every compiler
    for (const char c : resource)
        seed = (seed ^ static_cast<uint8_t>(c)) * 16777619u;
    std::mt19937 rng(seed);
    Mix mix(it->second.first);
    it->second.second(mix, rng);
    // Normalise to a common loudness ceiling so the pads sound alike in level.
    float peak = 1e-6f;
    for (size_t i = 0; i < mix.Size(); ++i) {
        peak = std::max({peak, std::abs(mix.left[i]), std::abs(mix.right[i])});
    }
    const float gain = 0.8f / peak;
    out.sampleRate = kRate;
    out.channels = 2;
    out.samples.resize(mix.Size() * 2);
    for (size_t i = 0; i < mix.Size(); ++i) {
        out.samples[2 * i] = ToSample(mix.left[i] * gain);
        out.samples[2 * i + 1] = ToSample(mix.right[i] * gain);
    }
    return true;
}

Pcm MakeTone(double hz, double seconds, int sampleRate, int channels, double amplitude) {
    Pcm pcm;
    pcm.sampleRate = sampleRate;
    pcm.channels = channels;
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    pcm.samples.resize(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(kTwoPi * hz * static_cast<double>(i) / sampleRate);
        for (int c = 0; c < channels; ++c) {
            pcm.samples[i * channels + c] = ToSample(static_cast<float>(v));
        }
    }
    return pcm;
}

bool EncodeToMp3(const Pcm& pcm, std::vector<uint8_t>& mp3, int kbps) {
    return platform::audio::EncodeMp3(pcm.samples.data(), pcm.Frames(), pcm.sampleRate,
                                      pcm.channels, kbps, mp3);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    f.close();
    return static_cast<bool>(f);
}

}  // namespace clipgen
