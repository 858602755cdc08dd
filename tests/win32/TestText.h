#pragma once

#include <string>

// UTF-8 to the system's UTF-16, for the test programs; the product itself only converts the
// other way.
class TestText
{
public:
    static std::wstring to_wide(const std::string& utf8);
};
