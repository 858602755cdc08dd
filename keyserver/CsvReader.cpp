#include "CsvReader.h"

#include <utility>

namespace {

const std::string byte_order_mark = "\xEF\xBB\xBF";

void note_error(CsvRecord& record, const std::string& error)
{
    if (record.error.empty()) {
        record.error = error;
    }
}

} // namespace

CsvReader::CsvReader(std::string csv_text)
    : text(std::move(csv_text))
{
    if (text.compare(0, byte_order_mark.size(), byte_order_mark) == 0) {
        pos = byte_order_mark.size();
    }
}

bool CsvReader::next(CsvRecord& record)
{
    skip_blank_and_comment_lines();
    if (pos >= text.size()) {
        return false;
    }
    record = CsvRecord{};
    record.line = line;
    while (true) {
        const bool quoted = text[pos] == '"';
        record.fields.push_back(quoted ? quoted_field(record) : plain_field(record));
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            continue;
        }
        consume_line_end();
        return true;
    }
}

void CsvReader::skip_blank_and_comment_lines()
{
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && (text[end] == ' ' || text[end] == '\t')) {
            ++end;
        }
        const bool blank = end == text.size() || text[end] == '\r' || text[end] == '\n';
        if (!blank && text[pos] != '#') {
            return;
        }
        while (pos < text.size() && !at_line_end()) {
            ++pos;
        }
        consume_line_end();
    }
}

bool CsvReader::at_line_end() const
{
    return text[pos] == '\r' || text[pos] == '\n';
}

void CsvReader::consume_line_end()
{
    if (pos >= text.size()) {
        return;
    }
    if (text[pos] == '\r') {
        ++pos;
    }
    if (pos < text.size() && text[pos] == '\n') {
        ++pos;
    }
    ++line;
}

std::string CsvReader::quoted_field(CsvRecord& record)
{
    std::string field;
    ++pos;
    while (true) {
        if (pos >= text.size()) {
            note_error(record, "quoted field is never closed");
            return field;
        }
        const char c = text[pos++];
        if (c == '"') {
            if (pos < text.size() && text[pos] == '"') {
                field += '"';
                ++pos;
                continue;
            }
            break;
        }
        if (c == '\n') {
            ++line;
        }
        field += c;
    }
    if (pos < text.size() && text[pos] != ',' && !at_line_end()) {
        note_error(record, "text after the closing quote of a field");
        while (pos < text.size() && text[pos] != ',' && !at_line_end()) {
            ++pos;
        }
    }
    return field;
}

std::string CsvReader::plain_field(CsvRecord& record)
{
    std::string field;
    while (pos < text.size() && text[pos] != ',' && !at_line_end()) {
        if (text[pos] == '"') {
            note_error(record, "quote inside a field that does not start with one");
        }
        field += text[pos++];
    }
    return field;
}
