#include "Mp3Encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "Log/Log.h"

#define LOG_SOURCE "platform\\audio\\Mp3Encoder"

namespace platform::audio {
namespace {

constexpr char kTag[] = "audio";

lame_global_flags* Lame(void* p) {
    return static_cast<lame_global_flags*>(p);
}

// LAME's own advice for the worst case of one call.
size_t OutputBound(size_t frames) {
    return frames + frames / 4 + 7200;
}

}  // namespace

CMp3Encoder::CMp3Encoder() = default;

CMp3Encoder::~CMp3Encoder() {
    if (m_lame) {
        lame_close(Lame(m_lame));
    }
}

bool CMp3Encoder::Begin(int sampleRate, int channels, int kbps) {
    if (m_lame || (channels != 1 && channels != 2) || sampleRate <= 0) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: cannot begin (rate %d, channels %d)",
                   sampleRate, channels);
        return false;
    }
    lame_global_flags* lame = lame_init();
    if (!lame) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: lame_init failed");
        return false;
    }
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);            // the placeholder frame TagFrame fills in
    lame_set_write_id3tag_automatic(lame, 0);  // the tag frame must be the stream's first bytes
    if (lame_init_params(lame) < 0) {
        VLOG_ERROR(kTag, "CMp3Encoder",
                   "mp3 encoder: settings refused (rate %d, channels %d, %d kbps)", sampleRate,
                   channels, kbps);
        lame_close(lame);
        return false;
    }
    m_lame = lame;
    m_rate = sampleRate;
    m_channels = channels;
    return true;
}

bool CMp3Encoder::Encode(const int16_t* interleaved, size_t frames, std::vector<uint8_t>& out) {
    if (!m_lame || m_finished) {
        return false;
    }
    // LAME takes an int count; long inputs go in pieces.
    constexpr size_t kChunk = 1 << 16;
    for (size_t done = 0; done < frames;) {
        const size_t n = std::min(kChunk, frames - done);
        m_scratch.resize(OutputBound(n));
        const int16_t* in = interleaved + done * m_channels;
        int written;
        if (m_channels == 2) {
            written = lame_encode_buffer_interleaved(Lame(m_lame), const_cast<short*>(in),
                                                     static_cast<int>(n), m_scratch.data(),
                                                     static_cast<int>(m_scratch.size()));
        } else {
            written = lame_encode_buffer(Lame(m_lame), in, in, static_cast<int>(n),
                                         m_scratch.data(), static_cast<int>(m_scratch.size()));
        }
        if (written < 0) {
            VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: encoding failed (%d)", written);
            return false;
        }
        out.insert(out.end(), m_scratch.begin(), m_scratch.begin() + written);
        done += n;
    }
    return true;
}

bool CMp3Encoder::Finish(std::vector<uint8_t>& out) {
    if (!m_lame || m_finished) {
        return false;
    }
    m_scratch.resize(7200);
    const int written =
        lame_encode_flush(Lame(m_lame), m_scratch.data(), static_cast<int>(m_scratch.size()));
    m_finished = true;
    if (written < 0) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: flush failed (%d)", written);
        return false;
    }
    out.insert(out.end(), m_scratch.begin(), m_scratch.begin() + written);
    return true;
}

std::vector<uint8_t> CMp3Encoder::TagFrame() const {
    if (!m_lame || !m_finished) {
        return {};
    }
    std::vector<uint8_t> tag(2880);  // larger than any MPEG-1 layer III frame
    const size_t n = lame_get_lametag_frame(Lame(m_lame), tag.data(), tag.size());
    if (n == 0 || n > tag.size()) {
        return {};
    }
    tag.resize(n);
    return tag;
}

bool EncodeMp3(const int16_t* interleaved, size_t frames, int sampleRate, int channels, int kbps,
               std::vector<uint8_t>& mp3) {
    CMp3Encoder encoder;
    std::vector<uint8_t> out;
    if (!encoder.Begin(sampleRate, channels, kbps) || !encoder.Encode(interleaved, frames, out) ||
        !encoder.Finish(out)) {
        return false;
    }
    const std::vector<uint8_t> tag = encoder.TagFrame();
    if (tag.empty() || tag.size() > out.size()) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: no tag frame");
        return false;
    }
    std::copy(tag.begin(), tag.end(), out.begin());
    mp3 = std::move(out);
    return true;
}

bool WriteTagFrame(const std::filesystem::path& file, const std::vector<uint8_t>& tag) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (tag.empty() || ec || size < tag.size()) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: cannot place the tag frame in %s",
                   file.string().c_str());
        return false;
    }
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0);
    f.write(reinterpret_cast<const char*>(tag.data()), static_cast<std::streamsize>(tag.size()));
    f.flush();
    if (!f) {
        VLOG_ERROR(kTag, "CMp3Encoder", "mp3 encoder: writing the tag frame to %s failed",
                   file.string().c_str());
        return false;
    }
    return true;
}

}  // namespace platform::audio
