// Paints events into pictures of the open sensor's size (1280 x 720 until told otherwise) through
// the shared FrameRenderer, in the
// display mode, polarity filter and theme the display panel chose (accumulation in grey, ON and OFF
// colours on #707070, until told otherwise). The live display loop and the file play loop paint and
// take pictures on their own threads; the GUI thread paints and takes them for single steps and
// seeks and changes the settings. One mutex guards the renderer, so any thread may call any member.
#pragma once

#include "orvane/driver/FrameRenderer.h"
#include "orvane/types/Event2D.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <mutex>
#include <vector>

class QPixmap;

class EventFrameAccumulator {
public:
    // The size before any source says its own.
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 720;
    // The grey theme, 0xAARRGGBB as QImage::Format_RGB32 stores a pixel.
    static constexpr uint32_t kBackground = 0xFF707070u;
    static constexpr uint32_t kOnColour = 0xFFBFBCB4u;   // (191, 188, 180)
    static constexpr uint32_t kOffColour = 0xFF403D33u;  // (64, 61, 51)

    EventFrameAccumulator();

    // Events outside the picture are skipped.
    void addEvents(const orvane::Event2D* begin, const orvane::Event2D* end);
    // Hands out the picture painted so far (the time surface as of the newest event) and, in
    // accumulation, starts a fresh one. The picture handed out is never written again, so it may be
    // shown while painting goes on.
    void takeFrame(QImage& out);
    void takeFrame(QPixmap& out);
    // Drops what was painted since the last take (and the time surface).
    void clear();
    // Pictures of the sensor's size from now on, with nothing painted; the settings stay.
    void setSize(int width, int height);
    QSize size() const;

    void setSettings(const orvane::RenderSettings& settings);
    orvane::RenderSettings settings() const;
    // What is known of one pixel for the info bar: its events in the picture taken last and the
    // time of its newest event.
    orvane::FrameRenderer::PixelInfo pixelInfo(int x, int y) const;

private:
    QImage freshPicture();  // caller holds lock_

    mutable std::mutex lock_;
    orvane::FrameRenderer renderer_;
    // Pictures handed out earlier; one nobody holds any more is reused instead of allocated.
    std::vector<QImage> handedOut_;
};
