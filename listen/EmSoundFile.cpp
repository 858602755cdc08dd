#include "EmSoundFile.h"

#include "EmSoundFileOpen.h"

EmSoundFile::EmSoundFile(const std::string& path)
{
    SF_INFO info{};
    file = em_sound_file_open(path, &info);
    if (!file) {
        failure = sf_strerror(nullptr);
        return;
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        failure = "no audio channels";
        sf_close(file);
        file = nullptr;
        return;
    }
    channel_count = info.channels;
    rate = info.samplerate;
}

EmSoundFile::~EmSoundFile()
{
    if (file) {
        sf_close(file);
    }
}

std::size_t EmSoundFile::read(std::vector<float>& buffer, std::size_t max_frames)
{
    if (!file) {
        return 0;
    }
    buffer.resize(max_frames * static_cast<std::size_t>(channel_count));
    const sf_count_t got = sf_readf_float(file, buffer.data(), static_cast<sf_count_t>(max_frames));
    if (got <= 0) {
        if (sf_error(file) != SF_ERR_NO_ERROR) {
            failure = sf_strerror(file);
        }
        return 0;
    }
    return static_cast<std::size_t>(got);
}
