#pragma once
#include <optional>
#include <vector>

// One distance at which two frames agree, with the number of rows that back it: rows of the
// overlap that carry something (not both blank alike) and match.
struct ScrollCandidate {
    int offset = 0;
    int evidence = 0;
    // Rows of the overlap that carry something and do not match (a cursor, a hovered link).
    int mismatched = 0;
    bool operator==(const ScrollCandidate&) const = default;
};

// Every distance at which the moving rows of two frames agree. Repeated content (a block of
// identical lines, a pattern) agrees at several; the pixels alone then cannot tell the scroll.
struct ScrollMatch {
    // Smallest offset first.
    std::vector<ScrollCandidate> candidates;
    // Nothing changed in the moving rows between the two frames.
    bool still = false;

    // The distance the pixels tell by themselves: the only candidate, or the one backed by the
    // most rows when it outweighs every other. It outweighs one backed by a quarter of its rows or
    // fewer (a single line that happens to repeat does not outweigh a whole overlap); and, when it
    // matches every row of its overlap, one at a longer distance (whose rows all lie in that
    // overlap) that mismatches some of them, such as a header of another number, or that belongs
    // to a run of distances one line apart while it stands alone: the run is a stretch of
    // identical lines, which agrees at each of its lines alike, and a distance standing alone is
    // fixed by lines of its own. None without a candidate or with several comparable ones.
    std::optional<int> clear() const;
    // The index of the candidate `clear()` takes over some other only because it matches every
    // row of its overlap; -1 when it takes none, or takes it otherwise.
    int takenOnAgreement() const;
    bool allows(int offset) const;
    // The candidate within `tolerance` rows of `expected` that is nearest to it, the one with
    // fewer mismatched rows when two are equally near; none when there is none or it stays a tie.
    std::optional<int> nearest(int expected, int tolerance) const;
    // Whether the distances up to `offset` follow one another from 0 at one spacing, seen at least
    // twice, and reach `offset`: a picture of nothing but identical lines agrees so with itself.
    bool agreesAtEveryLineUpTo(int offset) const;
    // The distances up to `offset` at which the frames agree as well as at `offset` (with no more
    // mismatched rows), smallest first and `offset` last: where a page that moved `offset` at most
    // may have come to rest. Empty when `offset` is no candidate.
    std::vector<int> offsetsAgreeingAsWellUpTo(int offset) const;
};
