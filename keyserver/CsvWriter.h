#pragma once

#include <string>
#include <vector>

// Writes records that CsvReader reads back field for field: RFC 4180 quoting, LF line ends, and
// quotes around a field that starts with '#', which the reader would otherwise take for a note.
class CsvWriter
{
public:
    static std::string record(const std::vector<std::string>& fields);
};
