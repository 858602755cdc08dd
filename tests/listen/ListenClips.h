#pragma once

#include "EmSong.h"

#include <string>
#include <vector>

// Short songs in known keys, rendered once per test program, and sound files made of them.
namespace ListenClips {

constexpr int rate = 22050;

// A clip of the given song at `rate`, interleaved stereo.
std::vector<float> render(const EmSong& song);
// A 20-second song in the key, with drums, bass and a tune.
EmSong song(EmKey key, double detune_cents = 0.0);

// Writes interleaved samples as a sound file (format from the name: .wav, .flac, .ogg); false
// when it could not.
bool write(const std::string& path, const std::vector<float>& samples, int channels);

} // namespace ListenClips
