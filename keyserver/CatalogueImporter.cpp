#include "CatalogueImporter.h"

#include "CsvReader.h"
#include "TextNormaliser.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cctype>

namespace {

const std::array<std::string, 3> column_names = {"name", "singer", "keynote"};

std::string trimmed(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool valid_utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size())).toUtf8().toStdString() == text;
}

bool has_control_character(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

// Where each of the three columns sits in a row, or an empty vector when the header lacks one
// of them or names one twice.
std::vector<std::size_t> column_positions(const std::vector<std::string>& header)
{
    std::vector<std::size_t> positions;
    for (const std::string& column : column_names) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (lower_case(trimmed(header[i])) == column) {
                found.push_back(i);
            }
        }
        if (found.size() != 1) {
            return {};
        }
        positions.push_back(found.front());
    }
    return positions;
}

} // namespace

CatalogueImporter::CatalogueImporter(Catalogue& catalogue)
    : catalogue(catalogue)
{
}

ImportReport CatalogueImporter::import(const std::string& csv_text)
{
    ImportReport report;
    CsvReader reader(csv_text);
    CsvRecord record;
    if (!reader.next(record)) {
        report.problems.push_back({1, "no header row"});
        return report;
    }
    const std::vector<std::size_t> columns = column_positions(record.fields);
    if (!record.error.empty() || columns.empty()) {
        report.problems.push_back(
            {record.line, "the header row must name the columns name, singer and keynote"});
        return report;
    }
    const std::size_t width = record.fields.size();

    std::vector<CatalogueSong> songs;
    while (reader.next(record)) {
        std::string problem = record.error;
        CatalogueSong song;
        if (problem.empty() && record.fields.size() != width) {
            problem = "expected " + std::to_string(width) + " fields, found " +
                      std::to_string(record.fields.size());
        }
        if (problem.empty()) {
            song.name = trimmed(record.fields[columns[0]]);
            song.singer = trimmed(record.fields[columns[1]]);
            song.keynote = trimmed(record.fields[columns[2]]);
            problem = problem_with(song);
        }
        if (problem.empty()) {
            songs.push_back(std::move(song));
        } else {
            report.problems.push_back({record.line, problem});
        }
    }
    report.added = catalogue.store(songs);
    report.imported = songs.size();
    return report;
}

std::string CatalogueImporter::problem_with(const CatalogueSong& song) const
{
    for (const std::string* field : {&song.name, &song.singer, &song.keynote}) {
        if (!valid_utf8(*field)) {
            return "a field is not valid UTF-8";
        }
        if (has_control_character(*field)) {
            return "a field holds a line break or another control character";
        }
    }
    if (TextNormaliser::normalise(song.name).empty()) {
        return "the song name is empty";
    }
    if (!keynote_rule.understands(QString::fromStdString(song.keynote))) {
        return "the keynote \"" + song.keynote + "\" is not a key and a scale the plugin can be set to";
    }
    return {};
}
