#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct sf_private_tag;

// A sound file (WAV, FLAC, Ogg Vorbis and the other formats libsndfile reads), read block by
// block as interleaved floats in -1..1. Not thread-safe.
class EmSoundFile
{
public:
    // Opens the file; error() tells why when it cannot be read.
    explicit EmSoundFile(const std::string& path);
    ~EmSoundFile();
    EmSoundFile(const EmSoundFile&) = delete;
    EmSoundFile& operator=(const EmSoundFile&) = delete;

    bool is_open() const { return file != nullptr; }
    const std::string& error() const { return failure; }
    int channels() const { return channel_count; }
    int sample_rate() const { return rate; }

    // Up to max_frames frames into the buffer (resized to hold them); 0 at the end of the file
    // or after a read error (then error() says which).
    std::size_t read(std::vector<float>& buffer, std::size_t max_frames);

private:
    sf_private_tag* file = nullptr;
    std::string failure;
    int channel_count = 0;
    int rate = 0;
};
