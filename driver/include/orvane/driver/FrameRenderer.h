// Turns events into pictures: the one place where the colours of ON and OFF events and of the
// background are decided, for the viewer's live and file pictures, its fusion view and the video
// export. Two display modes: accumulation (the last event at a pixel within the window decides its
// colour; each picture starts afresh) and time surface (each pixel shows its last event fading
// with a time constant, so motion leaves a trail; the surface lives across pictures until cleared).
// Events of one polarity can be left out; three colour themes.
//
// Threads: a renderer is used by one thread at a time; its owner locks around it.
#pragma once

#include "orvane/types/Event2D.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

enum class DisplayMode : int32_t { Accumulation = 0, TimeSurface = 1 };
enum class PolarityFilter : int32_t { Both = 0, OnOnly = 1, OffOnly = 2 };
enum class ColourTheme : int32_t { Grey = 0, Dark = 1, Light = 2 };

// Colours as 0xFFRRGGBB.
struct Palette {
    uint32_t background;
    uint32_t on;
    uint32_t off;
};
const Palette& paletteOf(ColourTheme theme);

struct RenderSettings {
    DisplayMode mode = DisplayMode::Accumulation;
    PolarityFilter polarity = PolarityFilter::Both;
    ColourTheme theme = ColourTheme::Grey;
    uint64_t timeConstantUs = 20000;  // time surface: a pixel's weight falls to 1/e after this long
    bool operator==(const RenderSettings&) const = default;
};

class FrameRenderer {
public:
    static constexpr uint64_t kMinTimeConstantUs = 100;
    static constexpr uint64_t kMaxTimeConstantUs = 10000000;

    FrameRenderer(int width, int height);

    // A change of mode clears what was painted; the time constant is clamped to its range.
    void setSettings(const RenderSettings& settings);
    const RenderSettings& settings() const { return settings_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Events outside the sensor are skipped; so are those the polarity filter leaves out.
    void addEvents(const Event2D* begin, const Event2D* end);
    // The time of the newest event added (the time surface's "now" when none is given).
    uint64_t lastTime() const { return lastTime_; }

    // Writes the picture as of `now` (rows of `stride` pixels, 0xFFRRGGBB) and, in accumulation,
    // starts the next window empty.
    void render(uint64_t now, uint32_t* pixels, size_t stride);
    // The same as 24-bit blue, green, red (the video export's frames).
    void renderBgr24(uint64_t now, uint8_t* pixels, size_t stride);
    // The time-surface weight (0..1) of pixel (x, y) at `now`; 0 without an event.
    double surfaceValue(int x, int y, uint64_t now) const;
    // Drops everything painted (a seek, a new source).
    void clear();

    // What one pixel holds: its events in the picture rendered last and the time of its newest
    // event so far (0 when none). Zero outside the sensor.
    struct PixelInfo {
        uint32_t count = 0;
        uint64_t lastTime = 0;
    };
    PixelInfo pixelInfo(int x, int y) const;

    // One pixel's colour for a polarity seen with weight `w` (0..1) over the theme's background.
    static uint32_t blend(uint32_t background, uint32_t colour, double w);

private:
    template <typename Put>
    void renderWith(uint64_t now, Put&& put);
    void buildFadeTable();

    int width_;
    int height_;
    RenderSettings settings_;
    // Accumulation: 0 no event, 1 OFF, 2 ON, per pixel.
    std::vector<uint8_t> last_;
    // Time of each pixel's last event (the time surface's ages; the info under the cursor).
    std::vector<uint64_t> times_;
    // Events per pixel in the window being painted and in the one rendered last.
    std::vector<uint16_t> counts_;
    std::vector<uint16_t> shownCounts_;
    uint64_t lastTime_ = 0;
    bool painted_ = false;
    // exp(-age / tau) sampled over ages 0 .. kFadeSpan tau.
    std::vector<uint16_t> fade_;
};

}  // namespace orvane
