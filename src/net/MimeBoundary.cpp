#include "net/MimeBoundary.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>

#include <unistd.h>

namespace morvanta {

namespace {

struct BoundaryState {
    std::mutex mutex;
    std::string boundary;
    RandomSource random;
};

BoundaryState& State()
{
    static BoundaryState state;
    return state;
}

RandomSource ClockSeededSource()
{
    auto seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    seed ^= static_cast<std::uint64_t>(getpid()) << 32;
    auto engine = std::make_shared<std::mt19937_64>(seed);
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

} // namespace

std::string MakeMimeBoundary(const RandomSource& source)
{
    auto random = [&source] {
        double r = source();
        return r >= 0.0 && r < 1.0 ? r : 0.0;
    };
    std::string boundary;
    boundary.reserve(MimeBoundaryLength);
    for (int i = 0; i < MimeBoundaryLength; ++i) {
        int x = static_cast<int>(random() * 61 + 1.5) + 47;
        if (x > 83)
            x += 13;
        else if (x > 57)
            x += 7;
        boundary += static_cast<char>(x);
    }
    int k = static_cast<int>(random() * 32 + 1.5);
    boundary[static_cast<size_t>(k - 1)] = '=';
    boundary[static_cast<size_t>(k)] = '_';
    return boundary;
}

std::string MimeBoundary::Get()
{
    BoundaryState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.boundary.empty())
        state.boundary = MakeMimeBoundary(state.random ? state.random : ClockSeededSource());
    return state.boundary;
}

void MimeBoundary::Reset(RandomSource random)
{
    BoundaryState& state = State();
    std::lock_guard lock(state.mutex);
    state.boundary.clear();
    state.random = std::move(random);
}

} // namespace morvanta
