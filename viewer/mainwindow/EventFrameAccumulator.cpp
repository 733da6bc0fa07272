#include "EventFrameAccumulator.h"

#include <QPixmap>

namespace {

constexpr size_t kReusedPictures = 4;

}  // namespace

static_assert(EventFrameAccumulator::kBackground == 0xFF707070u);

EventFrameAccumulator::EventFrameAccumulator() : renderer_(kWidth, kHeight)
{
}

QImage EventFrameAccumulator::freshPicture()
{
    QImage picture;
    for (QImage& old : handedOut_)
        if (old.isDetached() && old.width() == renderer_.width() && old.height() == renderer_.height()) {
            picture = std::move(old);
            old = QImage();
            break;
        }
    std::erase_if(handedOut_, [](const QImage& i) { return i.isNull(); });
    if (picture.isNull())
        picture = QImage(renderer_.width(), renderer_.height(), QImage::Format_RGB32);
    return picture;
}

void EventFrameAccumulator::addEvents(const orvane::Event2D* begin, const orvane::Event2D* end)
{
    std::lock_guard lock(lock_);
    renderer_.addEvents(begin, end);
}

void EventFrameAccumulator::takeFrame(QImage& out)
{
    std::lock_guard lock(lock_);
    QImage picture = freshPicture();
    renderer_.render(renderer_.lastTime(), reinterpret_cast<uint32_t*>(picture.bits()),
                     size_t(picture.bytesPerLine()) / sizeof(uint32_t));
    if (handedOut_.size() >= kReusedPictures)
        handedOut_.erase(handedOut_.begin());
    handedOut_.push_back(picture);
    out = std::move(picture);
}

void EventFrameAccumulator::takeFrame(QPixmap& out)
{
    QImage picture;
    takeFrame(picture);
    out = QPixmap::fromImage(picture);
}

void EventFrameAccumulator::clear()
{
    std::lock_guard lock(lock_);
    renderer_.clear();
}

void EventFrameAccumulator::setSize(int width, int height)
{
    std::lock_guard lock(lock_);
    if (width == renderer_.width() && height == renderer_.height()) {
        renderer_.clear();
        return;
    }
    const orvane::RenderSettings settings = renderer_.settings();
    renderer_ = orvane::FrameRenderer(width, height);
    renderer_.setSettings(settings);
    handedOut_.clear();
}

QSize EventFrameAccumulator::size() const
{
    std::lock_guard lock(lock_);
    return {renderer_.width(), renderer_.height()};
}

void EventFrameAccumulator::setSettings(const orvane::RenderSettings& settings)
{
    std::lock_guard lock(lock_);
    renderer_.setSettings(settings);
}

orvane::RenderSettings EventFrameAccumulator::settings() const
{
    std::lock_guard lock(lock_);
    return renderer_.settings();
}

orvane::FrameRenderer::PixelInfo EventFrameAccumulator::pixelInfo(int x, int y) const
{
    std::lock_guard lock(lock_);
    return renderer_.pixelInfo(x, y);
}
