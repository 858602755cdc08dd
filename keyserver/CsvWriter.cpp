#include "CsvWriter.h"

namespace {

bool needs_quotes(const std::string& field)
{
    return field.find_first_of(",\"\r\n") != std::string::npos || (!field.empty() && field.front() == '#') ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

std::string quoted(const std::string& field)
{
    std::string text = "\"";
    for (char c : field) {
        text += c;
        if (c == '"') {
            text += '"';
        }
    }
    return text + '"';
}

} // namespace

std::string CsvWriter::record(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + (needs_quotes(fields[i]) ? quoted(fields[i]) : fields[i]);
    }
    return line + '\n';
}
