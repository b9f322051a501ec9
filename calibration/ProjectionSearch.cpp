// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/ProjectionSearch.h"

#include "calibration/Trimmed.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace carteva {

namespace {

// A margin names a country by its adjective; the database's areas by the country's name.
constexpr std::pair<std::string_view, std::string_view> Adjectives[] = {
    {"american", "usa"},       {"austrian", "austria"},   {"belgian", "belgium"},
    {"british", "kingdom"},    {"czech", "czechia"},      {"danish", "denmark"},
    {"dutch", "netherlands"},  {"finnish", "finland"},    {"french", "france"},
    {"german", "germany"},     {"irish", "ireland"},      {"italian", "italy"},
    {"norwegian", "norway"},   {"polish", "poland"},      {"portuguese", "portugal"},
    {"spanish", "spain"},      {"swedish", "sweden"},     {"swiss", "switzerland"},
};

std::vector<std::string> WordsOf(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            word += char(std::tolower(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

// A typed word matches a word of the entry that it is, or that it begins when it is three
// letters or more ("stereo", "merc").
bool Matches(const std::string &typed, const std::vector<std::string> &words)
{
    return std::any_of(words.begin(), words.end(), [&](const std::string &word) {
        return word == typed || (typed.size() >= 3 && word.rfind(typed, 0) == 0);
    });
}

bool IsNumber(std::string_view text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

} // namespace

ProjectionSearch::ProjectionSearch(std::vector<CatalogueEntry> entries)
{
    entries_.reserve(entries.size());
    for (CatalogueEntry &entry : entries) {
        // The code's number, not its authority: "epsg" would match nearly every system.
        std::vector<std::string> words = WordsOf(entry.Code.substr(entry.Code.find(':') + 1) + " "
                                                 + entry.Name + " " + entry.Method);
        std::vector<std::string> area = WordsOf(entry.AreaName);
        entries_.push_back({std::move(entry), std::move(words), std::move(area)});
    }
}

std::string ProjectionSearch::CodeOf(std::string_view typed)
{
    typed = Trimmed(typed);
    return IsNumber(typed) ? "EPSG:" + std::string(typed) : std::string(typed);
}

std::vector<ProjectionSearch::Hit>
ProjectionSearch::Find(std::string_view text, const std::optional<LongitudeSpan> &points) const
{
    std::vector<Hit> hits;
    const std::string code = CodeOf(text);
    // "EPSG:31468" is a code, not words: every EPSG system would match "epsg".
    const std::string_view trimmed = Trimmed(text);
    const bool codeOnly = trimmed.find(':') != std::string_view::npos
        && trimmed.find_first_of(" \t") == std::string_view::npos;
    const std::vector<std::string> typed = codeOnly ? std::vector<std::string> {code} : WordsOf(text);
    std::vector<std::string> countries(typed.size());
    for (std::size_t i = 0; i < typed.size(); ++i) {
        for (const auto &[adjective, country] : Adjectives) {
            if (typed[i] == adjective)
                countries[i] = country;
        }
    }
    if (typed.empty())
        return hits;
    // 1 for a match in the name, less for one in the area of use alone, 0 for none.
    const auto matches = [&](std::size_t i, const Indexed &indexed) -> double {
        if (Matches(typed[i], indexed.Words))
            return 1;
        // The country an adjective names is looked for in areas only: "Swiss" is no county.
        const bool inArea = Matches(typed[i], indexed.AreaWords)
            || (!countries[i].empty() && Matches(countries[i], indexed.AreaWords));
        return inArea ? 1 / std::sqrt(double(indexed.AreaWords.size())) : 0;
    };
    // How many systems each word matches, to weigh it: a word most systems have says little.
    std::vector<double> weights(typed.size(), 0);
    if (!codeOnly) {
        for (std::size_t i = 0; i < typed.size(); ++i) {
            std::size_t count = 0;
            for (const Indexed &indexed : entries_)
                count += matches(i, indexed) > 0 ? 1 : 0;
            weights[i] = 1 / std::sqrt(double(std::max<std::size_t>(count, 1)));
        }
    }
    for (const Indexed &indexed : entries_) {
        Hit hit {indexed.Entry, 0, 0, false};
        if (indexed.Entry.Code == code) {
            hit.Words = typed.size() + 1; // the code itself: before any words
            hit.Weight = double(hit.Words);
        } else if (!codeOnly) {
            for (std::size_t i = 0; i < typed.size(); ++i) {
                if (const double match = matches(i, indexed); match > 0) {
                    ++hit.Words;
                    hit.Weight += match * weights[i];
                }
            }
        }
        if (hit.Words == 0)
            continue;
        hit.CoversPoints = points && indexed.Entry.Holds(*points, 0);
        hits.push_back(std::move(hit));
    }
    std::stable_sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) {
        if (a.Words != b.Words)
            return a.Words > b.Words;
        if (a.Weight != b.Weight)
            return a.Weight > b.Weight;
        if (a.CoversPoints != b.CoversPoints)
            return a.CoversPoints;
        if (a.Entry.Geographic != b.Entry.Geographic)
            return !a.Entry.Geographic;
        // The system most people know it by, then the name with least besides the words.
        const bool epsgA = a.Entry.Code.rfind("EPSG:", 0) == 0;
        const bool epsgB = b.Entry.Code.rfind("EPSG:", 0) == 0;
        if (epsgA != epsgB)
            return epsgA;
        return a.Entry.Name.size() < b.Entry.Name.size();
    });
    return hits;
}

} // namespace carteva
