#pragma once

#include "CatalogueSong.h"
#include "NameTrigrams.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How a similarity search picks and ranks its candidates, the same whichever store holds them.
// One search uses one object, on one thread.
class SimilarNames
{
public:
    // Below this, names count as different songs; a four-character Chinese title with one
    // character changed stays below it, since that is usually another song.
    static constexpr double least_similarity = 0.55;
    // Among similar names, the singer asked for goes first unless another name is clearly closer.
    static constexpr double singer_bonus = 0.25;
    // Caps the candidates a search reads: it searches by the rarest pieces of the asked name only,
    // as many as fit, so that a name made of pieces that thousands of songs share cannot make one
    // lookup cost more than the TLS handshake in front of it.
    static constexpr std::int64_t candidate_budget = 384;

    SimilarNames(std::string_view name_key, std::string singer_key);

    const std::vector<std::string>& grams() const { return asked.grams(); }

    // From (songs holding the piece, piece), the rarest pieces that together stay in the budget.
    static std::vector<std::string> rarest(std::vector<std::pair<std::int64_t, std::string>> counted);

    // The candidate's score, or nothing when its name is not similar enough.
    std::optional<double> score(std::string_view name_key, std::string_view singer_key) const;
    void add(double score, CatalogueSong song);
    // The songs added, best first, ties in catalogue order.
    std::vector<CatalogueSong> best(std::size_t limit);

private:
    NameTrigrams asked;
    std::string singer_key;
    std::vector<std::pair<double, CatalogueSong>> scored;
};
