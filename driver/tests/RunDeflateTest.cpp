// The run-length deflate coder of the HDF5 export: whatever the bytes, zlib's inflate gives them
// back, within the bound. Cases that stress each of its paths: runs at the match length limits,
// noise (stored), skewed symbol counts whose Huffman tree is deeper than deflate allows, planes of
// different kinds in one stream, and sizes around the stored block limit.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "orvane/driver/RunDeflate.h"

namespace orvane {
namespace {

std::vector<uint8_t> inflated(const std::vector<uint8_t>& stream, size_t size)
{
    std::vector<uint8_t> out(size + 1);
    uLongf got = static_cast<uLongf>(out.size());
    const int rc = uncompress(out.data(), &got, stream.data(), static_cast<uLong>(stream.size()));
    EXPECT_EQ(rc, Z_OK);
    out.resize(rc == Z_OK ? got : 0);
    return out;
}

void roundTrip(const std::vector<uint8_t>& in, size_t plane, const std::string& what)
{
    SCOPED_TRACE(what + ", " + std::to_string(in.size()) + " bytes in planes of " + std::to_string(plane));
    const size_t bound = runDeflateBound(in.size(), plane);
    std::vector<uint8_t> stream(bound + 64, 0xA5);
    const size_t n = runDeflate(in.data(), in.size(), plane, stream.data());
    ASSERT_LE(n, bound);
    for (size_t i = bound; i < stream.size(); ++i) ASSERT_EQ(stream[i], 0xA5) << "wrote past the bound at " << i;
    stream.resize(n);
    ASSERT_TRUE(inflated(stream, in.size()) == in);
}

TEST(RunDeflate, RunsOfEveryLengthAroundTheMatchLimits)
{
    for (size_t r :
         {1, 2, 3, 4, 5, 6, 10, 11, 257, 258, 259, 260, 261, 262, 263, 516, 517, 518, 519, 100000}) {
        std::vector<uint8_t> in(r, 7);
        roundTrip(in, in.size(), "one run of " + std::to_string(r));
        // Runs of rising lengths, of alternating values, then a literal between two runs.
        std::vector<uint8_t> mixed;
        for (size_t k = 1; k <= r && mixed.size() < 300000; k += 1 + k / 3)
            mixed.insert(mixed.end(), k, uint8_t(k & 1 ? 3 : 200));
        mixed.push_back(9);
        mixed.insert(mixed.end(), r, 3);
        roundTrip(mixed, mixed.size(), "runs up to " + std::to_string(r));
    }
    roundTrip({}, 1, "nothing");
}

TEST(RunDeflate, NoiseIsStoredAndSkewedCountsKeepCodesWithinTheLimit)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> noise(262144);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    roundTrip(noise, noise.size(), "noise");
    roundTrip(std::vector<uint8_t>(noise.begin(), noise.begin() + 65535), 65535, "noise of one stored block");
    roundTrip(std::vector<uint8_t>(noise.begin(), noise.begin() + 65536), 65536,
              "noise one past a stored block");

    // Symbol k appears about 2^(17-k) times: an unlimited Huffman code would need over 20 bits.
    // Spread so that no run forms, then a few symbols that occur once.
    std::vector<uint8_t> skewed;
    for (int k = 0; k < 24; ++k) {
        for (uint32_t c = 0; c < (1u << (k < 17 ? 17 - k : 0)); ++c)
            skewed.push_back(static_cast<uint8_t>(k));
    }
    for (int k = 24; k < 256; k += 7) skewed.push_back(static_cast<uint8_t>(k));
    std::shuffle(skewed.begin(), skewed.end(), rng);
    roundTrip(skewed, skewed.size(), "skewed");
    // Low entropy: two values, as polarities are.
    std::vector<uint8_t> bits(262144);
    for (auto& b : bits) b = static_cast<uint8_t>(rng() % 7 == 0);
    roundTrip(bits, bits.size(), "two values");
}

TEST(RunDeflate, PlanesOfDifferentKindsInOneStream)
{
    // What the shuffle makes of 8-byte times: a noisy plane, a slow one, then constant ones.
    std::mt19937 rng(11);
    const size_t values = 262144;
    std::vector<uint8_t> t(8 * values);
    uint64_t time = 5000000000ull;
    std::vector<uint64_t> times(values);
    for (auto& v : times) v = (time += rng() % 3 == 0 ? rng() % 40 : 0);
    for (size_t i = 0; i < values; ++i) {
        for (size_t k = 0; k < 8; ++k) t[k * values + i] = static_cast<uint8_t>(times[i] >> (8 * k));
    }
    roundTrip(t, values, "times");
    roundTrip(t, 1000, "times in short planes");
    // The last plane shorter than the others.
    roundTrip(std::vector<uint8_t>(t.begin(), t.begin() + 3 * values + 12345), values, "a short last plane");
}

}  // namespace
}  // namespace orvane
