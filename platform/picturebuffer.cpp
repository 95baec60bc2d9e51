// The picture view of picturebuffer.h: loading, pixel rows, the region of
// interest and its outline, drawing and the mouse.
#include "platform/picturebuffer.h"

#include "platform/picture_file.h"
#include "platform/accessibility.h"
#include "platform/bmp8.h"
#include "platform/strandel_binding.h"

#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

int Nearest(double v)
{
    if (!std::isfinite(v)) return 0;
    v = std::clamp(v, -2147483648.0, 2147483647.0);
    return int(std::nearbyint(v)); // default rounding: halves to even
}

int ButtonCode(Qt::MouseButtons b)
{
    int code = 0;
    if (b & Qt::LeftButton) code |= 1;
    if (b & Qt::RightButton) code |= 2;
    if (b & Qt::MiddleButton) code |= 4;
    return code;
}

int ShiftCode(Qt::KeyboardModifiers m)
{
    int code = 0;
    if (m & Qt::ShiftModifier) code |= 1;
    if (m & Qt::ControlModifier) code |= 2;
    if (m & Qt::AltModifier) code |= 4;
    return code;
}

} // namespace

PictureBuffer::PictureBuffer(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Picture");
    InstallAccessibility();   // read as an image
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

PictureBuffer::LoadResult PictureBuffer::load()
{
    lastError_.clear();
    if (fileName_.isEmpty()) {
        lastError_ = "No file name given.";
        return LoadResult::NoFileName;
    }
    GreyPicture p = ReadGreyPicture(QFile::encodeName(fileName_).toStdString());
    lastError_ = QString::fromStdString(p.error);
    switch (p.result) {
    case GreyPicture::Result::Ok: break;
    case GreyPicture::Result::CannotOpen: return LoadResult::CannotOpen;
    case GreyPicture::Result::NotEightBit: return LoadResult::NotEightBit;
    case GreyPicture::Result::Unsupported: return LoadResult::Unsupported;
    case GreyPicture::Result::BadFile:
    case GreyPicture::Result::TooLarge: return LoadResult::BadFile;
    }
    setPicture(p.width, p.height, std::move(p.pixels));
    return LoadResult::Ok;
}

bool PictureBuffer::readRow(int y, int32_t* row) const
{
    if (!row || y < 0 || y >= height_) return false;
    const uint8_t* src = pixels_.data() + size_t(y) * width_;
    for (int x = 0; x < width_; ++x) row[x] = src[x];
    return true;
}

bool PictureBuffer::writeRow(int y, const int32_t* row)
{
    if (!row || y < 0 || y >= height_) return false;
    uint8_t* dst = pixels_.data() + size_t(y) * width_;
    for (int x = 0; x < width_; ++x) dst[x] = uint8_t(std::clamp<int32_t>(row[x], 0, 255));
    update();
    return true;
}

std::vector<int32_t> PictureBuffer::readRow(int y) const
{
    std::vector<int32_t> row(size_t(std::max(width_, 0)));
    if (!readRow(y, row.data())) row.clear();
    return row;
}

bool PictureBuffer::writeRow(int y, const std::vector<int32_t>& row)
{
    if (int(row.size()) < width_) return false;
    return writeRow(y, row.data());
}

void PictureBuffer::createBlank(int width, int height, uint32_t fill)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    uint8_t level;
    if (fill < 256) {
        level = uint8_t(fill);
    } else {
        const uint32_t r = fill & 0xFF, g = (fill >> 8) & 0xFF, b = (fill >> 16) & 0xFF;
        level = uint8_t((r * 299 + g * 587 + b * 114 + 500) / 1000);
    }
    setPicture(width, height, std::vector<uint8_t>(size_t(width) * height, level));
}

bool PictureBuffer::takeOver(const PictureBuffer& source, bool regionOnly)
{
    if (!regionOnly) {
        std::vector<uint8_t> copy = source.pixels_;
        setPicture(source.width_, source.height_, std::move(copy));
        return true;
    }
    const int left = std::max(source.roiLeft_, 0);
    const int top = std::max(source.roiTop_, 0);
    const int right = std::min(source.roiLeft_ + source.roiWidth_, source.width_);
    const int bottom = std::min(source.roiTop_ + source.roiHeight_, source.height_);
    if (right <= left || bottom <= top) return false;
    const int w = right - left, h = bottom - top;
    std::vector<uint8_t> part(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = source.pixels_.data() + size_t(top + y) * source.width_ + left;
        std::copy(src, src + w, part.begin() + size_t(y) * w);
    }
    setPicture(w, h, std::move(part));
    return true;
}

void PictureBuffer::setPicture(int width, int height, std::vector<uint8_t> pixels)
{
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height)) {
        width = height = 0;
        pixels.clear();
    }
    width_ = width;
    height_ = height;
    pixels_ = std::move(pixels);
    pictureChanged();
}

void PictureBuffer::pictureChanged()
{
    updateGeometry();
    resize(std::max(width_, 1), std::max(height_, 1));
    update();
}

void PictureBuffer::setRoiLeft(double v) { roiLeft_ = Nearest(v); update(); }
void PictureBuffer::setRoiTop(double v) { roiTop_ = Nearest(v); update(); }
void PictureBuffer::setRoiWidth(double v) { roiWidth_ = Nearest(v); update(); }
void PictureBuffer::setRoiHeight(double v) { roiHeight_ = Nearest(v); update(); }

void PictureBuffer::setRoi(double left, double top, double width, double height)
{
    roiLeft_ = Nearest(left);
    roiTop_ = Nearest(top);
    roiWidth_ = Nearest(width);
    roiHeight_ = Nearest(height);
    update();
}

void PictureBuffer::setOutlineColor(uint32_t bgr)
{
    outlineColor_ = bgr & 0xFFFFFF;
    update();
}

void PictureBuffer::outlineOff()
{
    outlineOn_ = false;
    update();
}

void PictureBuffer::outlineOn()
{
    outlineOn_ = true;
    update();
}

void PictureBuffer::setRegionDisplay(bool on)
{
    regionDisplay_ = on;
    update();
}

void PictureBuffer::refresh()
{
    update();
}

QSize PictureBuffer::sizeHint() const
{
    return QSize(std::max(width_, 1), std::max(height_, 1));
}

QSize PictureBuffer::minimumSizeHint() const
{
    return sizeHint();
}

void PictureBuffer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (width_ > 0 && height_ > 0) {
        const QImage img(pixels_.data(), width_, height_, width_, QImage::Format_Grayscale8);
        p.drawImage(0, 0, img);
    }
    if (regionVisible() && roiWidth_ != 0 && roiHeight_ != 0) {
        // A region dragged past the picture is drawn only where the picture is.
        p.setClipRect(QRect(0, 0, std::max(width_, 1), std::max(height_, 1)));
        const QColor c(int(outlineColor_ & 0xFF), int((outlineColor_ >> 8) & 0xFF), int((outlineColor_ >> 16) & 0xFF));
        p.setPen(QPen(c, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(roiLeft_, roiTop_, roiWidth_, roiHeight_).normalized().adjusted(0, 0, -1, -1));
    }
}

void PictureBuffer::mousePressEvent(QMouseEvent* e)
{
    pressed_ = true;
    const QPointF pos = e->position();
    emit mouseDown(ButtonCode(e->button()), ShiftCode(e->modifiers()), pos.x(), pos.y());
}

void PictureBuffer::mouseMoveEvent(QMouseEvent* e)
{
    const QPointF pos = e->position();
    emit mouseMove(ButtonCode(e->buttons()), ShiftCode(e->modifiers()), pos.x(), pos.y());
}

void PictureBuffer::mouseReleaseEvent(QMouseEvent* e)
{
    const QPointF pos = e->position();
    emit mouseUp(ButtonCode(e->button()), ShiftCode(e->modifiers()), pos.x(), pos.y());
    if (pressed_ && rect().contains(e->position().toPoint())) emit clicked();
    pressed_ = false;
}

} // namespace platform
