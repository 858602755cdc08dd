#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One record of a CSV text and the line it starts on. A record whose syntax is broken still
// comes back, with `error` saying how, so that the reader can go on with the next one.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> fields;
    std::string error;
};

// Reads RFC 4180 records: fields separated by commas, quoted fields that may hold commas, line
// breaks and doubled quotes, CRLF or LF line ends. Beyond the RFC, a UTF-8 byte order mark is
// dropped, and blank lines and lines starting with '#' outside a record are skipped, so that a
// file can explain itself; a field that starts with '#' must then be quoted.
class CsvReader
{
public:
    explicit CsvReader(std::string text);

    // False once the text is used up.
    bool next(CsvRecord& record);

private:
    void skip_blank_and_comment_lines();
    bool at_line_end() const;
    void consume_line_end();
    std::string quoted_field(CsvRecord& record);
    std::string plain_field(CsvRecord& record);

    std::string text;
    std::size_t pos = 0;
    int line = 1;
};
