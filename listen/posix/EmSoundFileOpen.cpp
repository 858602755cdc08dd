#include "EmSoundFileOpen.h"

SNDFILE* em_sound_file_open(const std::string& path, SF_INFO* info)
{
    return sf_open(path.c_str(), SFM_READ, info);
}
