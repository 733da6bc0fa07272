#include "sim/Scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane::sim {
namespace {

// A moving object bounces between lo and hi at `speed` pixels per second; each one-pixel step
// happens at a known time, so a slice finds its steps without replaying the past.
struct Motion {
    int lo, hi;      // range of the object's first pixel
    uint64_t speed;  // pixels per second
    uint64_t phase;  // steps already taken at time 0, so objects do not all start at lo
    int length() const { return hi - lo; }
    // Position after step n and whether that step went forward.
    int position(uint64_t n, bool* forward = nullptr) const
    {
        const uint64_t L = static_cast<uint64_t>(length());
        const uint64_t u = (n + phase) % (2 * L);
        if (forward) *forward = u < L;
        return lo + static_cast<int>(u < L ? u + 1 : 2 * L - u - 1);
    }
    uint64_t stepTime(uint64_t n) const { return n * 1000000 / speed; }
    uint64_t firstStepAtOrAfter(uint64_t t) const { return (t * speed + 999999) / 1000000; }
    int at(uint64_t t) const { return position(t * speed / 1000000); }
};

constexpr int kVBarWidth = 90, kVBarTop = 60, kVBarBottom = 660;
constexpr Motion kVBar{0, kWidth - kVBarWidth, 400, 300};
constexpr int kHBarHeight = 50, kHBarLeft = 100, kHBarRight = 1180;
constexpr Motion kHBar{0, kHeight - kHBarHeight, 250, 200};
constexpr int kSquare = 120;
constexpr Motion kSquareX{200, 900, 300, 0};
constexpr Motion kSquareY{100, 560, 180, 77};
constexpr uint64_t kFlickerRowStepUs = 4;  // the light's rows fire one after another

// Natural event rates of the scene with one event per pixel crossing.
constexpr double kEdgeRate = 2.0 * (kVBarBottom - kVBarTop) * 400 + 2.0 * (kHBarRight - kHBarLeft) * 250 +
                             2.0 * kSquare * 300 + 2.0 * kSquare * 180;
constexpr double kFlickerRate = 120.0 * 80 * 2e6 / (2 * kFlickerHalfPeriodUs) ;
constexpr double kNoiseShare = 0.15;
constexpr uint64_t kMaxBurstUs = 2000;

inline uint64_t mix(uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return x;
}
inline double unit(uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

}  // namespace

EventScene::Rect EventScene::verticalBar(uint64_t t)
{
    const int x = kVBar.at(t);
    return {x, kVBarTop, x + kVBarWidth, kVBarBottom};
}

EventScene::Rect EventScene::horizontalBar(uint64_t t)
{
    const int y = kHBar.at(t);
    return {kHBarLeft, y, kHBarRight, y + kHBarHeight};
}

EventScene::Rect EventScene::square(uint64_t t)
{
    const int x = kSquareX.at(t), y = kSquareY.at(t);
    return {x, y, x + kSquare, y + kSquare};
}

void EventScene::configure(const SensorSettings& settings)
{
    s_ = settings;
    const double g = (1.0 - kNoiseShare) * std::max(0.0, s_.targetRate) / (kEdgeRate + kFlickerRate);
    // Contrast thresholds: a higher ON (OFF) bias means fewer ON (OFF) events; the reference level
    // moves both thresholds, in opposite directions; a longer refractory period swallows events.
    const double refr = std::exp2(-s_.refr / 80.0);
    mOn_ = g * std::exp2(-(s_.diffOn - s_.diff) / 40.0) * refr;
    mOff_ = g * std::exp2(-(s_.diffOff + s_.diff) / 40.0) * refr;
    noiseRate_ = kNoiseShare * std::max(0.0, s_.targetRate) * std::exp2(s_.fo / 30.0) * std::exp2(-s_.hpf / 30.0);
    burstSpacingUs_ = static_cast<uint32_t>(std::clamp(40.0 * std::exp2(s_.refr / 60.0 - s_.fo / 60.0), 1.0, 400.0));
    const double flickerHz = 1e6 / (2.0 * kFlickerHalfPeriodUs);
    const bool inBand = s_.afkLowHz <= flickerHz && flickerHz <= s_.afkHighHz;
    flickerVisible_ = !s_.afkEnabled || (s_.afkBandPass ? inBand : !inBand);
    staticVisible_ = !s_.afkEnabled || !s_.afkBandPass;
    if (s_.roiEnabled) {
        roiPass_.assign(static_cast<size_t>(kWidth) * kHeight, 0);
        for (int y = 0; y < kHeight; ++y) {
            const bool row = y < static_cast<int>(s_.roiRow.size()) && s_.roiRow[y];
            for (int x = 0; x < kWidth; ++x) {
                const bool in = row && x < static_cast<int>(s_.roiColumn.size()) && s_.roiColumn[x];
                roiPass_[static_cast<size_t>(y) * kWidth + x] = in == s_.roiKeepWindow;
            }
        }
    } else {
        roiPass_.clear();
    }
    if ((s_.trailEnabled || s_.stcEnabled) && lastT_.empty()) {
        lastT_.assign(static_cast<size_t>(kWidth) * kHeight, 0);
        lastState_.assign(static_cast<size_t>(kWidth) * kHeight, 0);
    }
}

void EventScene::emitBurst(uint64_t tc, uint16_t x, uint16_t y, bool on, uint64_t t0, uint64_t t1, uint64_t key)
{
    const double m = on ? mOn_ : mOff_;
    const uint64_t k = static_cast<uint64_t>(m) + (unit(mix(key)) < m - std::floor(m) ? 1 : 0);
    const uint64_t spacing = std::min<uint64_t>(burstSpacingUs_, k ? kMaxBurstUs / k : 1);
    for (uint64_t j = 0; j < k; ++j) {
        const uint64_t t = tc + j * spacing;
        if (t >= t1) break;
        if (t >= t0) staged_.emplace_back(x, y, on ? 1 : 0, t);
    }
}

void EventScene::emitRowBurst(uint64_t tc, uint16_t x0, uint16_t x1, uint16_t y, bool on, uint64_t t0, uint64_t t1,
                              uint64_t key)
{
    const double m = on ? mOn_ : mOff_;
    const uint64_t k = static_cast<uint64_t>(m) + (unit(mix(key)) < m - std::floor(m) ? 1 : 0);
    const uint64_t spacing = std::min<uint64_t>(burstSpacingUs_, k ? kMaxBurstUs / k : 1);
    for (uint64_t j = 0; j < k; ++j) {
        const uint64_t t = tc + j * spacing;
        if (t >= t1) break;
        if (t < t0) continue;
        const size_t at = staged_.size();
        staged_.resize(at + (x1 - x0));
        Event2D* e = staged_.data() + at;
        for (uint16_t x = x0; x < x1; ++x) *e++ = Event2D(x, y, on ? 1 : 0, t);
    }
}

void EventScene::generate(uint64_t t0, uint64_t t1)
{
    const uint64_t from = t0 > kMaxBurstUs ? t0 - kMaxBurstUs : 0;
    if (staticVisible_) {
        // The vertical bar: its side edges sweep across columns.
        for (uint64_t n = kVBar.firstStepAtOrAfter(from); kVBar.stepTime(n) < t1; ++n) {
            bool fwd = false;
            const int p = kVBar.position(n, &fwd);
            const int onX = fwd ? p - 1 + kVBarWidth : p, offX = fwd ? p - 1 : p + kVBarWidth;
            const uint64_t tc = kVBar.stepTime(n);
            for (int y = kVBarTop; y < kVBarBottom; ++y) {
                emitBurst(tc, static_cast<uint16_t>(onX), static_cast<uint16_t>(y), true, t0, t1, (n << 20) ^ (y << 1));
                emitBurst(tc, static_cast<uint16_t>(offX), static_cast<uint16_t>(y), false, t0, t1, (n << 20) ^ (y << 1) ^ 1);
            }
        }
        // The horizontal bar: whole rows light up and go dark.
        for (uint64_t n = kHBar.firstStepAtOrAfter(from); kHBar.stepTime(n) < t1; ++n) {
            bool fwd = false;
            const int p = kHBar.position(n, &fwd);
            const int onY = fwd ? p - 1 + kHBarHeight : p, offY = fwd ? p - 1 : p + kHBarHeight;
            const uint64_t tc = kHBar.stepTime(n);
            const uint64_t key = mix(n + 0x1000000);
            emitRowBurst(tc, kHBarLeft, kHBarRight, static_cast<uint16_t>(std::min(onY, offY)), onY < offY, t0, t1, key);
            emitRowBurst(tc, kHBarLeft, kHBarRight, static_cast<uint16_t>(std::max(onY, offY)), onY > offY, t0, t1, key ^ 1);
        }
        // The square: columns and rows, its position at the step time along the other axis.
        for (uint64_t n = kSquareX.firstStepAtOrAfter(from); kSquareX.stepTime(n) < t1; ++n) {
            bool fwd = false;
            const int p = kSquareX.position(n, &fwd);
            const uint64_t tc = kSquareX.stepTime(n);
            const int y0 = kSquareY.at(tc);
            const int onX = fwd ? p - 1 + kSquare : p, offX = fwd ? p - 1 : p + kSquare;
            for (int y = y0; y < y0 + kSquare; ++y) {
                emitBurst(tc, static_cast<uint16_t>(onX), static_cast<uint16_t>(y), true, t0, t1, (n << 20) ^ (y << 1) ^ 0x55);
                emitBurst(tc, static_cast<uint16_t>(offX), static_cast<uint16_t>(y), false, t0, t1, (n << 20) ^ (y << 1) ^ 0x54);
            }
        }
        for (uint64_t n = kSquareY.firstStepAtOrAfter(from); kSquareY.stepTime(n) < t1; ++n) {
            bool fwd = false;
            const int p = kSquareY.position(n, &fwd);
            const uint64_t tc = kSquareY.stepTime(n);
            const int x0 = kSquareX.at(tc);
            const int onY = fwd ? p - 1 + kSquare : p, offY = fwd ? p - 1 : p + kSquare;
            const uint64_t key = mix(n + 0x2000000);
            const auto xa = static_cast<uint16_t>(x0), xb = static_cast<uint16_t>(x0 + kSquare);
            emitRowBurst(tc, xa, xb, static_cast<uint16_t>(std::min(onY, offY)), onY < offY, t0, t1, key);
            emitRowBurst(tc, xa, xb, static_cast<uint16_t>(std::max(onY, offY)), onY > offY, t0, t1, key ^ 1);
        }
    }
    if (flickerVisible_) {
        const Rect l = flickerLight();
        for (uint64_t j = (from + kFlickerHalfPeriodUs - 1) / kFlickerHalfPeriodUs; j * kFlickerHalfPeriodUs < t1; ++j) {
            const bool on = j % 2 == 0;
            for (int y = l.y0; y < l.y1; ++y) {
                const uint64_t tc = j * kFlickerHalfPeriodUs + static_cast<uint64_t>(y - l.y0) * kFlickerRowStepUs;
                emitRowBurst(tc, static_cast<uint16_t>(l.x0), static_cast<uint16_t>(l.x1), static_cast<uint16_t>(y), on,
                             t0, t1, mix((j << 16) ^ y ^ 0x3000000));
            }
        }
    }
    if (staticVisible_ && noiseRate_ > 0) {
        // Background activity: a Poisson-like sprinkle, deterministic per slice.
        const double expected = noiseRate_ * static_cast<double>(t1 - t0) * 1e-6;
        uint64_t h = mix(t0 ^ 0xabcdef);
        const uint64_t n = static_cast<uint64_t>(expected) + (unit(h) < expected - std::floor(expected) ? 1 : 0);
        for (uint64_t i = 0; i < n; ++i) {
            h = mix(h + i + 1);
            staged_.emplace_back(static_cast<uint16_t>((h & 0xFFFF) % kWidth), static_cast<uint16_t>(((h >> 16) & 0xFFFF) % kHeight),
                                 static_cast<uint8_t>((h >> 32) & 1), t0 + ((h >> 40) % (t1 - t0)));
        }
    }
}

void EventScene::sortInto(uint64_t t0, uint64_t t1, std::vector<Event2D>& out, size_t from)
{
    // Counting sort by microsecond: stable, so a row written in one go stays one run (one vector).
    const size_t span = static_cast<size_t>(t1 - t0);
    buckets_.assign(span + 1, 0);
    for (const Event2D& e : staged_) ++buckets_[static_cast<size_t>(e.timestamp - t0) + 1];
    for (size_t i = 1; i <= span; ++i) buckets_[i] += buckets_[i - 1];
    out.resize(from + staged_.size());
    Event2D* dst = out.data() + from;
    for (const Event2D& e : staged_) dst[buckets_[static_cast<size_t>(e.timestamp - t0)]++] = e;
}

void EventScene::filter(std::vector<Event2D>& out, size_t from)
{
    Event2D* const begin = out.data() + from;
    Event2D* const end = out.data() + out.size();
    Event2D* w = begin;
    const bool roi = !roiPass_.empty();
    const bool stc = s_.stcEnabled, trail = s_.trailEnabled;
    for (Event2D* e = begin; e != end; ++e) {
        const size_t pix = static_cast<size_t>(e->y) * kWidth + e->x;
        if (roi && !roiPass_[pix]) continue;
        if (stc || trail) {
            const uint8_t st = lastState_[pix];
            const uint8_t pol = e->polarity ? 2 : 1;
            const uint64_t dt = e->timestamp - lastT_[pix];
            lastT_[pix] = e->timestamp;
            bool keep;
            if (stc) {
                const bool burst = (st & 3) == pol && dt <= s_.stcThresholdUs;
                // An isolated event opens a burst and is dropped; the burst's second event passes;
                // the rest is cut (STC_CUT_TRAIL) or kept (STC_KEEP_TRAIL).
                keep = burst && (!trail || !(st & 4));
                lastState_[pix] = static_cast<uint8_t>(pol | (burst ? (st & 4) | (keep ? 4 : 0) : 0));
            } else {
                keep = (st & 3) != pol || dt > s_.trailThresholdUs;
                lastState_[pix] = pol;
            }
            if (!keep) continue;
        }
        *w++ = *e;
    }
    if (s_.ercEnabled && s_.ercPeriodUs > 0) {
        // Rate control: in each reference period, at most the target count, dropped evenly.
        Event2D* keepEnd = begin;
        for (Event2D* p = begin; p != w;) {
            const uint64_t window = p->timestamp / s_.ercPeriodUs;
            Event2D* q = p;
            while (q != w && q->timestamp / s_.ercPeriodUs == window) ++q;
            const uint64_t n = static_cast<uint64_t>(q - p), limit = s_.ercEventsPerPeriod;
            if (n <= limit) {
                if (keepEnd != p) std::memmove(static_cast<void*>(keepEnd), p, n * sizeof(Event2D));
                keepEnd += n;
            } else {
                for (uint64_t i = 0; i < n; ++i)
                    if ((i + 1) * limit / n > i * limit / n) *keepEnd++ = p[i];
            }
            p = q;
        }
        w = keepEnd;
    }
    filteredOut_ += static_cast<uint64_t>(end - w);
    out.resize(static_cast<size_t>(w - out.data()));
}

void EventScene::produce(uint64_t t0, uint64_t t1, std::vector<Event2D>& out)
{
    if (t1 <= t0) return;
    staged_.clear();
    generate(t0, t1);
    const size_t from = out.size();
    sortInto(t0, t1, out, from);
    filter(out, from);
}

// ---- frames ------------------------------------------------------------------------------------

namespace {

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

void renderFrame(uint64_t t, const FrameSettings& fs, std::vector<uint8_t>& nv12)
{
    nv12.resize(kFrameBytes);
    uint8_t* const y = nv12.data();
    uint8_t* const uv = y + static_cast<size_t>(kFrameWidth) * kFrameHeight;
    // Exposure: auto exposure keeps a middle grey; a manual shutter brightens with its length.
    const double gain = fs.autoExposure ? 1.0 : std::clamp(fs.shutterLines / 102.0, 0.05, 4.0);
    const int black = static_cast<int>(fs.blackLevel / 4);  // 10-bit level to 8-bit
    auto level = [&](int v) { return clampByte(black + static_cast<int>(v * gain)); };
    // Background: a vertical gradient, one memset per row.
    for (int r = 0; r < kFrameHeight; ++r)
        std::memset(y + static_cast<size_t>(r) * kFrameWidth, level(30 + r * 50 / kFrameHeight), kFrameWidth);
    // The frame sensor sees the scene as the real camera's optics place it beside the event sensor:
    // left and right swapped, centred, each event pixel 3.3517 frame pixels wide (its field is the
    // narrower one). Fusion views mirror the events and shrink the frame by that factor, so the
    // two line up on screen.
    constexpr double k = 3.3517241;
    auto column = [](double dvsX) { return static_cast<int>((640.0 - dvsX) * k + kFrameWidth / 2); };
    auto row = [](double dvsY) { return static_cast<int>((dvsY - 360.0) * k + kFrameHeight / 2); };
    auto fill = [&](EventScene::Rect rc, uint8_t value) {
        // Event columns [x0, x1) show at screen columns 1281 - x1 ... 1280 - x0.
        const int x0 = std::clamp(column(rc.x1 - 1), 0, kFrameWidth);
        const int x1 = std::clamp(column(rc.x0 - 1), 0, kFrameWidth);
        const int y0 = std::clamp(row(rc.y0), 0, kFrameHeight), y1 = std::clamp(row(rc.y1), 0, kFrameHeight);
        if (x1 <= x0) return;
        for (int r = y0; r < y1; ++r) std::memset(y + static_cast<size_t>(r) * kFrameWidth + x0, value, x1 - x0);
    };
    fill(EventScene::horizontalBar(t), level(170));
    fill(EventScene::verticalBar(t), level(200));
    fill(EventScene::square(t), level(140));
    fill(EventScene::flickerLight(), level(EventScene::flickerOn(t) ? 235 : 20));
    // Chroma: neutral with white balance, a warm cast without it.
    const uint8_t u = fs.autoWhiteBalance ? 128 : 108, v = fs.autoWhiteBalance ? 128 : 152;
    const size_t uvBytes = static_cast<size_t>(kFrameWidth) * kFrameHeight / 2;
    if (u == v) {
        std::memset(uv, u, uvBytes);
    } else {
        for (size_t i = 0; i < uvBytes; i += 2) {
            uv[i] = u;
            uv[i + 1] = v;
        }
    }
}

}  // namespace orvane::sim
