#include "ListenClips.h"

#include "EmSongRenderer.h"

#include <sndfile.h>

namespace ListenClips {

std::vector<float> render(const EmSong& song)
{
    static EmSongRenderer renderer(rate);
    return renderer.render(song);
}

EmSong song(EmKey key, double detune_cents)
{
    EmSong song;
    song.key = key;
    song.style = 1;
    song.tempo = 100;
    song.chord_program = 0;
    song.bass_program = 33;
    song.melody_program = 73;
    song.drums = true;
    song.detune_cents = detune_cents;
    song.seconds = 20.0;
    return song;
}

bool write(const std::string& path, const std::vector<float>& samples, int channels)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    const auto dot = path.rfind('.');
    const std::string type = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (type == "flac") {
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    } else if (type == "ogg") {
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    } else {
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        return false;
    }
    const auto frames = static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels));
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

} // namespace ListenClips
