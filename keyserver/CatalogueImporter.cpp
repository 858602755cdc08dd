#include "CatalogueImporter.h"

#include "CsvReader.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

const std::array<std::string, 3> column_names = {"name", "singer", "keynote"};

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Where each of the three columns sits in a row, or an empty vector when the header lacks one
// of them or names one twice.
std::vector<std::size_t> column_positions(const std::vector<std::string>& header)
{
    std::vector<std::size_t> positions;
    for (const std::string& column : column_names) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (lower_case(SongRules::trimmed(header[i])) == column) {
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

CatalogueImporter::CatalogueImporter(CatalogueStore& catalogue)
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
            song.name = record.fields[columns[0]];
            song.singer = record.fields[columns[1]];
            song.keynote = record.fields[columns[2]];
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

std::string CatalogueImporter::problem_with(CatalogueSong& song) const
{
    switch (rules.check(song)) {
    case SongRules::Problem::none:
        return {};
    case SongRules::Problem::invalid_utf8:
        return "a field is not valid UTF-8";
    case SongRules::Problem::control_character:
        return "a field holds a line break or another control character";
    case SongRules::Problem::empty_name:
        return "the song name is empty";
    case SongRules::Problem::unreadable_keynote:
        return "the keynote \"" + song.keynote + "\" is not a key and a scale the plugin can be set to";
    }
    return {};
}
