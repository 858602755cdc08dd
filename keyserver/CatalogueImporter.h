#pragma once

#include "CatalogueStore.h"
#include "SongRules.h"

#include <cstddef>
#include <string>
#include <vector>

// A row left out of an import, and why.
struct ImportProblem
{
    int line = 0;
    std::string reason;
};

struct ImportReport
{
    std::size_t imported = 0;
    std::size_t added = 0;
    std::vector<ImportProblem> problems;
};

// Fills the catalogue from a CSV text with the columns name, singer and keynote, named in a
// header row in any order. Every keynote must be one the plugin controller can set, so that the
// service never hands out a key the assistant would silently fail to apply. The good rows go in
// together in one transaction; the bad ones are reported by line.
class CatalogueImporter
{
public:
    explicit CatalogueImporter(CatalogueStore& catalogue);

    ImportReport import(const std::string& csv_text);

private:
    std::string problem_with(CatalogueSong& song) const;

    CatalogueStore& catalogue;
    SongRules rules;
};
