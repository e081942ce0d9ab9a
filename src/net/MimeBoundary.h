#pragma once

#include <functional>
#include <string>

namespace morvanta {

// A source of pseudo-random reals in [0, 1).
using RandomSource = std::function<double()>;

inline constexpr int MimeBoundaryLength = 34;

// A boundary made from the source: 34 digits and letters, with "=" and "_"
// side by side at a position from 1 to 33. "=_" can never occur in base64
// or in a quoted-printable line, so the boundary cannot clash with a part.
[[nodiscard]] std::string MakeMimeBoundary(const RandomSource& random);

// The one boundary of the process, made at its first use and never changed
// afterwards.
class MimeBoundary {
public:
    [[nodiscard]] static std::string Get();

    // Drops the boundary so the next Get() makes a new one, from the given
    // source (or, without one, from a generator seeded from the clock).
    // Lets tests fix the boundary of their messages.
    static void Reset(RandomSource random = {});
};

} // namespace morvanta
