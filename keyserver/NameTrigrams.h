#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The three-character pieces of a normalised name, cut the way the catalogue's full-text index
// cuts them. The name is padded with a blank on each side so that two-character names, common
// among Chinese titles, still have pieces, and so that word starts and ends weigh in.
class NameTrigrams
{
public:
    explicit NameTrigrams(std::string_view name_key);

    // As UTF-8 text, sorted and without repeats.
    const std::vector<std::string>& grams() const { return texts; }

    // How alike two names are, from 0 to 1: the mean of the Dice coefficient and the overlap
    // coefficient of their pieces. Dice alone would rank a title with a remark such as "(Live)"
    // far from the bare title, since the remark adds as many pieces as a short Chinese title has.
    double similarity_to(std::string_view other_key) const;

private:
    std::vector<std::string> texts;
    // Three code points of 21 bits each in one number, so that comparing pieces of candidates,
    // which happens for every candidate of a similarity search, is comparing integers.
    std::vector<std::uint64_t> packed;
};
