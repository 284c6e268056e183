// The encoder's output read back by mpg123: the tag frame must give the exact length without a
// scan, and the audio must survive the round trip.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <vector>

#include "ClipSynth.h"
#include "Mp3Encoder.h"

namespace {

struct Decoded {
    long rate = 0;
    int channels = 0;
    off_t taggedLength = -1;  // samples per channel, from the tag alone
    std::vector<int16_t> samples;
};

Decoded Decode(const std::vector<uint8_t>& mp3) {
    Decoded d;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    EXPECT_NE(h, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(h);
    mpg123_format(h, 44100, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_format(h, 48000, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(h);
    mpg123_feed(h, mp3.data(), mp3.size());
    int encoding = 0;
    std::vector<unsigned char> buf(1 << 16);
    size_t got = 0;
    for (;;) {
        const int rc = mpg123_read(h, buf.data(), buf.size(), &got);
        if (rc == MPG123_NEW_FORMAT) {
            mpg123_getformat(h, &d.rate, &d.channels, &encoding);
            d.taggedLength = mpg123_length(h);
        }
        const auto* s = reinterpret_cast<const int16_t*>(buf.data());
        d.samples.insert(d.samples.end(), s, s + got / 2);
        if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_delete(h);
    return d;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from)) / 32768.0;
}

}  // namespace

TEST(Mp3Encoder, TagFrameGivesExactLengthAndToneSurvives) {
    mpg123_init();
    struct Case {
        int rate, channels;
        double seconds;
    };
    for (const Case c : {Case{44100, 2, 1.3}, Case{48000, 1, 0.4}, Case{44100, 1, 5.0}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch");
        const auto pcm = clipgen::MakeTone(1000, c.seconds, c.rate, c.channels, 0.5);
        std::vector<uint8_t> mp3;
        ASSERT_TRUE(clipgen::EncodeToMp3(pcm, mp3));
        const Decoded d = Decode(mp3);
        EXPECT_EQ(d.rate, c.rate);
        EXPECT_EQ(d.channels, c.channels);
        // Encoder delay and padding are in the tag, so the decoder knows the sample count exactly.
        EXPECT_EQ(d.taggedLength, static_cast<off_t>(pcm.Frames()));
        EXPECT_EQ(d.samples.size(), pcm.samples.size());
        // A 0.5 sine has an RMS of 0.354; MP3 keeps it within a few percent.
        const size_t n = d.samples.size();
        EXPECT_NEAR(Rms(d.samples, n / 4, n * 3 / 4), 0.354, 0.02);
    }
}

TEST(Mp3Encoder, RefusesWhatLameCannotTake) {
    platform::audio::CMp3Encoder e;
    EXPECT_FALSE(e.Begin(44100, 3));
    EXPECT_FALSE(e.Begin(0, 2));
    std::vector<uint8_t> out;
    EXPECT_FALSE(e.Encode(nullptr, 0, out));
    EXPECT_TRUE(e.TagFrame().empty());
}

TEST(ClipGen, EveryBuiltinClipIsAudibleAndDistinct) {
    std::vector<size_t> lengths;
    for (const auto& name : clipgen::BuiltinClipNames()) {
        SCOPED_TRACE(name);
        clipgen::Pcm pcm;
        ASSERT_TRUE(clipgen::SynthesiseBuiltin(name, pcm));
        EXPECT_GT(pcm.Frames(), 44100u / 2);
        EXPECT_GT(Rms(pcm.samples, 0, pcm.samples.size()), 0.02);
        clipgen::Pcm again;
        clipgen::SynthesiseBuiltin(name, again);
        EXPECT_EQ(pcm.samples, again.samples);  // reproducible builds
    }
    clipgen::Pcm none;
    EXPECT_FALSE(clipgen::SynthesiseBuiltin("DJ_NOPE", none));
}
