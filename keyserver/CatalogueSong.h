#pragma once

#include <cstdint>
#include <string>

// One song of the catalogue as shown to the user, with the key the plugin is to be set to.
struct CatalogueSong
{
    std::int64_t id = 0;
    std::string name;
    std::string singer;
    std::string keynote;
};
