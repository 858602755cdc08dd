#pragma once

#include <string>

// Window titles that old clients store in WM_NAME: ISO 8859-1 (type STRING) or Compound Text
// (type COMPOUND_TEXT), turned into UTF-8.
class EmX11CompoundText
{
public:
    static std::string latin1_to_utf8(const std::string& latin1);

    // Best effort: ISO 8859-1 and the UTF-8 segments that Xlib writes come through; text in
    // other character sets becomes one U+FFFD per character.
    static std::string to_utf8(const std::string& compound_text);
};
