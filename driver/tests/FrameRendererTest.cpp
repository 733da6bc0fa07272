// The frame renderer on known event sets: the themes' colours, the last event winning a pixel in
// accumulation, the polarity filter, the time surface's fade after its time constant, and the
// video export's byte order.
#include "orvane/driver/FrameRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using orvane::ColourTheme;
using orvane::DisplayMode;
using orvane::Event2D;
using orvane::FrameRenderer;
using orvane::PolarityFilter;
using orvane::RenderSettings;

namespace {

constexpr int kW = 64;
constexpr int kH = 32;

Event2D ev(uint16_t x, uint16_t y, uint8_t p, uint64_t t)
{
    return Event2D(x, y, p, t);
}

struct Picture {
    std::vector<uint32_t> px = std::vector<uint32_t>(size_t(kW) * kH, 0);
    uint32_t at(int x, int y) const { return px[size_t(y) * kW + x]; }
};

Picture render(FrameRenderer& r, uint64_t now)
{
    Picture p;
    r.render(now, p.px.data(), kW);
    return p;
}

void add(FrameRenderer& r, const std::vector<Event2D>& events)
{
    r.addEvents(events.data(), events.data() + events.size());
}

int channelDistance(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int s = 0; s < 24; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
    return d;
}

}  // namespace

TEST(FrameRenderer, ThemesKeepTheirColours)
{
    // Grey is the viewer's picture since the beginning and the export's; light is the fusion view's.
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Grey).background, 0xFF707070u);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Grey).on, 0xFFBFBCB4u);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Grey).off, 0xFF403D33u);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Dark).background, 0xFF000000u);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Light).background, 0xFFFFFFFFu);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Light).on, 0xFFFF0000u);
    EXPECT_EQ(orvane::paletteOf(ColourTheme::Light).off, 0xFF0000FFu);
    for (ColourTheme theme : {ColourTheme::Grey, ColourTheme::Dark, ColourTheme::Light}) {
        const orvane::Palette& p = orvane::paletteOf(theme);
        EXPECT_NE(p.on, p.off);
        EXPECT_NE(p.on, p.background);
        EXPECT_NE(p.off, p.background);
        FrameRenderer r(kW, kH);
        r.setSettings({DisplayMode::Accumulation, PolarityFilter::Both, theme, 20000});
        add(r, {ev(1, 1, 1, 10), ev(2, 1, 0, 11)});
        const Picture pic = render(r, 11);
        EXPECT_EQ(pic.at(1, 1), p.on);
        EXPECT_EQ(pic.at(2, 1), p.off);
        EXPECT_EQ(pic.at(0, 0), p.background);
    }
}

TEST(FrameRenderer, AccumulationLastEventWinsAndEachPictureStartsAfresh)
{
    FrameRenderer r(kW, kH);
    const auto& grey = orvane::paletteOf(ColourTheme::Grey);
    // OFF then ON at one pixel shows ON; ON then OFF shows OFF; off the sensor is skipped.
    add(r, {ev(3, 4, 0, 1), ev(3, 4, 1, 2), ev(5, 6, 1, 3), ev(5, 6, 0, 4), ev(kW, 0, 1, 5), ev(0, kH, 1, 6),
            ev(kW - 1, kH - 1, 1, 7)});
    Picture pic = render(r, 7);
    EXPECT_EQ(pic.at(3, 4), grey.on);
    EXPECT_EQ(pic.at(5, 6), grey.off);
    EXPECT_EQ(pic.at(kW - 1, kH - 1), grey.on);
    int painted = 0;
    for (uint32_t c : pic.px)
        painted += c != grey.background;
    EXPECT_EQ(painted, 3);
    pic = render(r, 8);
    for (uint32_t c : pic.px)
        ASSERT_EQ(c, grey.background) << "the next window starts empty";
}

class PolarityFilterTest : public ::testing::TestWithParam<PolarityFilter> {};

TEST_P(PolarityFilterTest, LeavesOutTheOtherPolarityInBothModes)
{
    const PolarityFilter filter = GetParam();
    for (DisplayMode mode : {DisplayMode::Accumulation, DisplayMode::TimeSurface}) {
        FrameRenderer r(kW, kH);
        r.setSettings({mode, filter, ColourTheme::Dark, 20000});
        const auto& dark = orvane::paletteOf(ColourTheme::Dark);
        add(r, {ev(10, 10, 1, 1000), ev(11, 10, 0, 1000), ev(12, 10, 1, 1000), ev(12, 10, 0, 1000)});
        const Picture pic = render(r, 1000);
        const bool on = filter != PolarityFilter::OffOnly;
        const bool off = filter != PolarityFilter::OnOnly;
        EXPECT_EQ(pic.at(10, 10), on ? dark.on : dark.background);
        EXPECT_EQ(pic.at(11, 10), off ? dark.off : dark.background);
        // A pixel with both keeps the last one shown.
        EXPECT_EQ(pic.at(12, 10), off ? dark.off : dark.on);
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, PolarityFilterTest,
                         ::testing::Values(PolarityFilter::Both, PolarityFilter::OnOnly, PolarityFilter::OffOnly));

TEST(FrameRenderer, TimeSurfaceFadesWithItsTimeConstantAndLastsAcrossPictures)
{
    constexpr uint64_t tau = 10000;
    FrameRenderer r(kW, kH);
    r.setSettings({DisplayMode::TimeSurface, PolarityFilter::Both, ColourTheme::Dark, tau});
    const auto& dark = orvane::paletteOf(ColourTheme::Dark);
    const uint64_t t0 = 5'000'000'000ull;  // far past 32 bits
    add(r, {ev(1, 1, 1, t0), ev(2, 1, 0, t0), ev(3, 1, 1, t0 + tau)});
    EXPECT_NEAR(r.surfaceValue(1, 1, t0 + tau), std::exp(-1.0), 1e-9);
    EXPECT_NEAR(r.surfaceValue(1, 1, t0 + 3 * tau), std::exp(-3.0), 1e-9);
    EXPECT_DOUBLE_EQ(r.surfaceValue(3, 1, t0 + tau), 1.0);
    EXPECT_DOUBLE_EQ(r.surfaceValue(4, 1, t0 + tau), 0.0) << "no event, no value";

    Picture pic = render(r, t0 + tau);
    EXPECT_EQ(pic.at(3, 1), dark.on) << "a fresh event shows its full colour";
    EXPECT_LE(channelDistance(pic.at(1, 1), FrameRenderer::blend(dark.background, dark.on, std::exp(-1.0))), 2);
    EXPECT_LE(channelDistance(pic.at(2, 1), FrameRenderer::blend(dark.background, dark.off, std::exp(-1.0))), 2);
    // The surface stays for the next picture, fainter; far past the constant it is gone.
    pic = render(r, t0 + 2 * tau);
    EXPECT_LE(channelDistance(pic.at(1, 1), FrameRenderer::blend(dark.background, dark.on, std::exp(-2.0))), 2);
    pic = render(r, t0 + 20 * tau);
    EXPECT_EQ(pic.at(1, 1), dark.background);
    // A longer constant fades slower; clearing drops the surface.
    r.setSettings({DisplayMode::TimeSurface, PolarityFilter::Both, ColourTheme::Dark, 4 * tau});
    EXPECT_NEAR(r.surfaceValue(1, 1, t0 + 4 * tau), std::exp(-1.0), 1e-9);
    r.clear();
    EXPECT_DOUBLE_EQ(r.surfaceValue(1, 1, t0 + tau), 0.0);
}

TEST(FrameRenderer, Bgr24HasTheSameColoursInTheExportsByteOrder)
{
    for (DisplayMode mode : {DisplayMode::Accumulation, DisplayMode::TimeSurface}) {
        FrameRenderer a(kW, kH), b(kW, kH);
        for (FrameRenderer* r : {&a, &b}) {
            r->setSettings({mode, PolarityFilter::Both, ColourTheme::Grey, 1000});
            add(*r, {ev(7, 3, 1, 100), ev(8, 3, 0, 600)});
        }
        const Picture rgb = render(a, 700);
        std::vector<uint8_t> bgr(size_t(kW) * kH * 3 + 5, 0xAB);
        b.renderBgr24(700, bgr.data(), size_t(kW) * 3);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint8_t* p = bgr.data() + (size_t(y) * kW + x) * 3;
                ASSERT_EQ(0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0], rgb.at(x, y)) << x << "," << y;
            }
        EXPECT_EQ(bgr.back(), 0xAB) << "nothing written past the picture";
    }
}

TEST(FrameRenderer, PixelInfoCountsThePictureShownAndKeepsTheLastTime)
{
    FrameRenderer r(kW, kH);
    add(r, {ev(4, 5, 1, 100), ev(4, 5, 0, 200), ev(4, 5, 1, 300), ev(6, 5, 0, 250)});
    EXPECT_EQ(r.pixelInfo(4, 5).count, 0u) << "counts are of the picture shown";
    render(r, 300);
    EXPECT_EQ(r.pixelInfo(4, 5).count, 3u);
    EXPECT_EQ(r.pixelInfo(4, 5).lastTime, 300u);
    EXPECT_EQ(r.pixelInfo(6, 5).count, 1u);
    EXPECT_EQ(r.pixelInfo(0, 0).lastTime, 0u);
    EXPECT_EQ(r.pixelInfo(-1, kH).count, 0u);
    render(r, 400);
    EXPECT_EQ(r.pixelInfo(4, 5).count, 0u) << "the next picture had none";
    EXPECT_EQ(r.pixelInfo(4, 5).lastTime, 300u) << "the last time stays";
}
