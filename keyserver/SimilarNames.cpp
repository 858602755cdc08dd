#include "SimilarNames.h"

#include <algorithm>

SimilarNames::SimilarNames(std::string_view name_key, std::string singer_key)
    : asked(name_key)
    , singer_key(std::move(singer_key))
{
}

std::vector<std::string> SimilarNames::rarest(std::vector<std::pair<std::int64_t, std::string>> counted)
{
    std::sort(counted.begin(), counted.end());
    std::vector<std::string> rare;
    std::int64_t candidates = 0;
    for (auto& [songs, gram] : counted) {
        if (candidates + songs > candidate_budget) {
            break;
        }
        candidates += songs;
        rare.push_back(std::move(gram));
    }
    return rare;
}

std::optional<double> SimilarNames::score(std::string_view name_key,
                                          std::string_view candidate_singer_key) const
{
    const double similarity = asked.similarity_to(name_key);
    if (similarity < least_similarity) {
        return std::nullopt;
    }
    const bool same_singer = !singer_key.empty() && candidate_singer_key == singer_key;
    return similarity + (same_singer ? singer_bonus : 0.0);
}

void SimilarNames::add(double score, CatalogueSong song)
{
    scored.emplace_back(score, std::move(song));
}

std::vector<CatalogueSong> SimilarNames::best(std::size_t limit)
{
    std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second.id < b.second.id;
    });
    std::vector<CatalogueSong> found;
    for (std::size_t i = 0; i < scored.size() && i < limit; ++i) {
        found.push_back(std::move(scored[i].second));
    }
    return found;
}
