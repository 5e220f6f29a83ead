#include "capture/ScrollMatch.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// The candidate the pixels tell by themselves (see ScrollMatch::clear()), and whether it was taken
// over some other on the strength of its own agreement with every row of its overlap.
struct Decision {
    const ScrollCandidate* taken = nullptr;
    bool onAgreement = false;
};

Decision decide(const std::vector<ScrollCandidate>& candidates)
{
    if (candidates.size() <= 1)
        return {candidates.empty() ? nullptr : &candidates.front(), false};
    const ScrollCandidate* best = &candidates.front();
    for (const ScrollCandidate& candidate : candidates)
        if (candidate.evidence > best->evidence)
            best = &candidate;
    // The line pitch of a run of identical lines: the smallest distance between two candidates.
    int pitch = INT_MAX;
    for (std::size_t i = 1; i < candidates.size(); ++i)
        pitch = std::min(pitch, candidates[i].offset - candidates[i - 1].offset);
    const auto inRun = [&](const ScrollCandidate& candidate) {
        return std::any_of(candidates.begin(), candidates.end(), [&](const ScrollCandidate& other) {
            return &other != &candidate && std::abs(other.offset - candidate.offset) <= pitch;
        });
    };
    const bool bestStandsAlone = best->mismatched == 0 && !inRun(*best);
    Decision decision {best, false};
    for (const ScrollCandidate& other : candidates) {
        if (&other == best)
            continue;
        if (other.evidence >= best->evidence)
            return {};
        if (best->evidence >= 4 * other.evidence)
            continue;
        const bool coveredAndMatched = best->mismatched == 0 && other.offset > best->offset;
        if (!coveredAndMatched || (other.mismatched == 0 && !(bestStandsAlone && inRun(other))))
            return {};
        decision.onAgreement = true;
    }
    return decision;
}

}

std::optional<int> ScrollMatch::clear() const
{
    const Decision decision = decide(candidates);
    return decision.taken ? std::optional<int>(decision.taken->offset) : std::nullopt;
}

int ScrollMatch::takenOnAgreement() const
{
    const Decision decision = decide(candidates);
    return decision.onAgreement ? int(decision.taken - candidates.data()) : -1;
}

bool ScrollMatch::allows(int offset) const
{
    return std::any_of(candidates.begin(), candidates.end(),
        [offset](const ScrollCandidate& candidate) { return candidate.offset == offset; });
}

std::optional<int> ScrollMatch::nearest(int expected, int tolerance) const
{
    const ScrollCandidate* found = nullptr;
    bool tie = false;
    for (const ScrollCandidate& candidate : candidates) {
        const int d = std::abs(candidate.offset - expected);
        if (d > tolerance)
            continue;
        const int best = found ? std::abs(found->offset - expected) : tolerance + 1;
        if (d < best || (d == best && candidate.mismatched < found->mismatched)) {
            tie = false;
            found = &candidate;
        } else if (d == best && candidate.mismatched == found->mismatched) {
            tie = true;
        }
    }
    if (!found || tie)
        return std::nullopt;
    return found->offset;
}

bool ScrollMatch::agreesAtEveryLineUpTo(int offset) const
{
    int spacing = 0;
    int last = 0;
    int steps = 0;
    for (const ScrollCandidate& candidate : candidates) {
        if (candidate.offset == 0 || candidate.offset > offset)
            continue;
        if (spacing != 0 && candidate.offset - last != spacing)
            return false;
        spacing = candidate.offset - last;
        last = candidate.offset;
        ++steps;
    }
    return steps >= 2 && last == offset && allows(0);
}

std::vector<int> ScrollMatch::offsetsAgreeingAsWellUpTo(int offset) const
{
    const auto at = std::find_if(candidates.begin(), candidates.end(),
        [offset](const ScrollCandidate& candidate) { return candidate.offset == offset; });
    if (at == candidates.end())
        return {};
    std::vector<int> offsets;
    for (auto candidate = candidates.begin(); candidate != at; ++candidate)
        if (candidate->mismatched <= at->mismatched)
            offsets.push_back(candidate->offset);
    offsets.push_back(offset);
    return offsets;
}
