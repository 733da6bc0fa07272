#include "orvane/driver/FrameRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orvane {

namespace {

// The fade is sampled this many time constants deep; past it a pixel is background (e^-6 < 0.3 %).
constexpr double kFadeSpan = 6.0;
constexpr size_t kFadeSteps = 1024;

constexpr uint8_t kNone = 0, kOff = 1, kOn = 2;

constexpr Palette kPalettes[] = {
    {0xFF707070u, 0xFFBFBCB4u, 0xFF403D33u},  // grey: (112,112,112), ON (191,188,180), OFF (64,61,51)
    {0xFF000000u, 0xFFFFFFFFu, 0xFF3C8CFFu},  // dark: ON white, OFF blue on black
    {0xFFFFFFFFu, 0xFFFF0000u, 0xFF0000FFu},  // light: ON red, OFF blue on white (the fusion view's)
};

}  // namespace

const Palette& paletteOf(ColourTheme theme)
{
    const auto i = static_cast<size_t>(theme);
    return kPalettes[i < std::size(kPalettes) ? i : 0];
}

uint32_t FrameRenderer::blend(uint32_t background, uint32_t colour, double w)
{
    w = std::clamp(w, 0.0, 1.0);
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const double b = (background >> shift) & 0xFF;
        const double c = (colour >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(b + (c - b) * w)) << shift;
    }
    return out;
}

FrameRenderer::FrameRenderer(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)),
      last_(static_cast<size_t>(width_) * static_cast<size_t>(height_), kNone), times_(last_.size(), 0),
      counts_(last_.size(), 0), shownCounts_(last_.size(), 0)
{
    buildFadeTable();
}

void FrameRenderer::setSettings(const RenderSettings& settings)
{
    RenderSettings next = settings;
    next.timeConstantUs = std::clamp(next.timeConstantUs, kMinTimeConstantUs, kMaxTimeConstantUs);
    const bool modeChanged = next.mode != settings_.mode;
    settings_ = next;
    if (modeChanged) clear();
    buildFadeTable();
}

void FrameRenderer::buildFadeTable()
{
    fade_.resize(kFadeSteps + 1);
    for (size_t i = 0; i <= kFadeSteps; ++i) {
        const double age = kFadeSpan * static_cast<double>(i) / kFadeSteps;  // in time constants
        fade_[i] = static_cast<uint16_t>(std::lround(std::exp(-age) * 255.0));
    }
    fade_[kFadeSteps] = 0;
}

void FrameRenderer::clear()
{
    std::fill(last_.begin(), last_.end(), kNone);
    std::fill(times_.begin(), times_.end(), 0);
    std::fill(counts_.begin(), counts_.end(), 0);
    std::fill(shownCounts_.begin(), shownCounts_.end(), 0);
    lastTime_ = 0;
    painted_ = false;
}

void FrameRenderer::addEvents(const Event2D* begin, const Event2D* end)
{
    if (begin == end) return;
    const bool keepOn = settings_.polarity != PolarityFilter::OffOnly;
    const bool keepOff = settings_.polarity != PolarityFilter::OnOnly;
    const auto w = static_cast<uint32_t>(width_);
    const auto h = static_cast<uint32_t>(height_);
    uint8_t* const last = last_.data();
    uint64_t* const times = times_.data();
    uint16_t* const counts = counts_.data();
    for (const Event2D* e = begin; e != end; ++e) {
        if (e->x >= w || e->y >= h || !(e->polarity ? keepOn : keepOff)) continue;
        const size_t i = static_cast<size_t>(e->y) * w + e->x;
        last[i] = e->polarity ? kOn : kOff;
        times[i] = e->timestamp;
        counts[i] = static_cast<uint16_t>(counts[i] + (counts[i] != UINT16_MAX));
    }
    lastTime_ = std::max(lastTime_, (end - 1)->timestamp);
    painted_ = true;
}

double FrameRenderer::surfaceValue(int x, int y, uint64_t now) const
{
    if (settings_.mode != DisplayMode::TimeSurface || x < 0 || y < 0 || x >= width_ || y >= height_) return 0.0;
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
    if (last_[i] == kNone) return 0.0;
    const uint64_t age = now > times_[i] ? now - times_[i] : 0;
    return std::exp(-static_cast<double>(age) / static_cast<double>(settings_.timeConstantUs));
}

FrameRenderer::PixelInfo FrameRenderer::pixelInfo(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
    return {shownCounts_[i], times_[i]};
}

template <typename Put>
void FrameRenderer::renderWith(uint64_t now, Put&& put)
{
    counts_.swap(shownCounts_);
    std::fill(counts_.begin(), counts_.end(), 0);
    const Palette& palette = paletteOf(settings_.theme);
    const auto w = static_cast<size_t>(width_);
    const auto h = static_cast<size_t>(height_);
    if (settings_.mode == DisplayMode::TimeSurface) {
        // Colours per polarity and fade level, so a pixel costs a subtraction and two look-ups.
        std::array<uint32_t, 256> onShade{}, offShade{};
        for (int level = 0; level < 256; ++level) {
            onShade[level] = blend(palette.background, palette.on, level / 255.0);
            offShade[level] = blend(palette.background, palette.off, level / 255.0);
        }
        const double tau = static_cast<double>(settings_.timeConstantUs);
        const double stepsPerUs = static_cast<double>(kFadeSteps) / (kFadeSpan * tau);
        const auto horizon = static_cast<uint64_t>(kFadeSpan * tau);
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* polarity = last_.data() + y * w;
            const uint64_t* times = times_.data() + y * w;
            for (size_t x = 0; x < w; ++x) {
                const uint64_t age = now > times[x] ? now - times[x] : 0;
                if (polarity[x] == kNone || age >= horizon) {
                    put(y, x, palette.background);
                    continue;
                }
                const uint16_t level = fade_[static_cast<size_t>(static_cast<double>(age) * stepsPerUs)];
                put(y, x, polarity[x] == kOn ? onShade[level] : offShade[level]);
            }
        }
        return;
    }
    const uint32_t colours[3] = {palette.background, palette.off, palette.on};
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = last_.data() + y * w;
        for (size_t x = 0; x < w; ++x) put(y, x, colours[row[x]]);
    }
    std::fill(last_.begin(), last_.end(), kNone);
    painted_ = false;
}

void FrameRenderer::render(uint64_t now, uint32_t* pixels, size_t stride)
{
    renderWith(now, [pixels, stride](size_t y, size_t x, uint32_t colour) { pixels[y * stride + x] = colour; });
}

void FrameRenderer::renderBgr24(uint64_t now, uint8_t* pixels, size_t stride)
{
    renderWith(now, [pixels, stride](size_t y, size_t x, uint32_t colour) {
        uint8_t* p = pixels + y * stride + x * 3;
        p[0] = static_cast<uint8_t>(colour);
        p[1] = static_cast<uint8_t>(colour >> 8);
        p[2] = static_cast<uint8_t>(colour >> 16);
    });
}

}  // namespace orvane
