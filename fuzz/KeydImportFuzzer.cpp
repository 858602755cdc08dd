// The key service's catalogue import of a CSV text into a new catalogue, and the lookups that
// follow it.
//
// Input: the CSV text.

#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "CsvReader.h"
#include "FuzzSupport.h"
#include "TextNormaliser.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

QString quoted(const std::string& text)
{
    return fuzz::spelled_out(QString::fromStdString(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = fuzz::bytes_of(data, size);
    std::vector<CsvRecord> records;
    CsvReader reader(text);
    for (CsvRecord record; reader.next(record);) {
        records.push_back(record);
    }

    Catalogue catalogue(":memory:");
    ImportReport report;
    try {
        report = CatalogueImporter(catalogue).import(text);
    } catch (const std::exception& e) {
        fuzz::fail("an import ends in a report, not an exception", QString::fromUtf8(e.what()));
    }

    // Every row either goes in or is reported; none is lost without a word.
    std::set<int> reported;
    for (const ImportProblem& problem : report.problems) {
        if (problem.reason.empty() || problem.line < 1 || !reported.insert(problem.line).second) {
            fuzz::fail("every problem names its own line and says why",
                       QString::fromStdString(problem.reason));
        }
    }
    const std::size_t rows = records.empty() ? 0 : records.size() - 1;
    const bool header_refused = report.imported == 0 && report.problems.size() == 1 &&
                                (records.empty() || report.problems[0].line == records[0].line);
    if (!header_refused && report.imported + report.problems.size() != rows) {
        fuzz::fail("every row is imported or reported", QStringLiteral("%1 rows, %2 imported, %3 reported")
                                                            .arg(rows)
                                                            .arg(report.imported)
                                                            .arg(report.problems.size()));
    }
    if (report.added > report.imported || catalogue.song_count() != report.added) {
        fuzz::fail("the catalogue holds the songs added");
    }
    if (report.imported == 0) {
        return 0;
    }

    // Each song imported is found under its name and singer, with the key of its last row.
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < records[0].fields.size(); ++i) {
        column[lower_case(trimmed(records[0].fields[i]))] = i;
    }
    std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> last_keynote;
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (reported.count(records[i].line) != 0) {
            continue;
        }
        const std::vector<std::string>& fields = records[i].fields;
        const std::string name = trimmed(fields.at(column.at("name")));
        const std::string singer = trimmed(fields.at(column.at("singer")));
        last_keynote[{TextNormaliser::normalise(name), TextNormaliser::normalise(singer)}] = {
            name + "\n" + singer, trimmed(fields.at(column.at("keynote")))};
    }
    for (const auto& [key, row] : last_keynote) {
        const std::string& name_and_singer = row.first;
        const std::size_t cut = name_and_singer.find('\n');
        const std::string name = name_and_singer.substr(0, cut);
        const std::string singer = name_and_singer.substr(cut + 1);
        const std::vector<CatalogueSong> found = catalogue.find(name, singer, 10);
        if (found.empty() || TextNormaliser::normalise(found[0].singer) != key.second ||
            found[0].keynote != row.second) {
            fuzz::fail("a song imported is found with its singer and the key of its last row",
                       quoted(name) + " by " + quoted(singer) + " in " + quoted(row.second));
        }
    }
    return 0;
}
