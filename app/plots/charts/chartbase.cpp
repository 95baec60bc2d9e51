#include "chartbase.h"

#include "chartexport.h"

namespace charts {

void ChartBase::touch()
{
    invalidate();
    if (batched_) {
        pending_ = true;
        return;
    }
    emit changed();
}

void ChartBase::setSize(QSize size)
{
    size = size.expandedTo(QSize(1, 1));
    if (size == size_) return;
    size_ = size;
    touch();
}

void ChartBase::setIsBatched(bool on)
{
    if (on == batched_) return;
    batched_ = on;
    if (!on && pending_) {
        pending_ = false;
        emit changed();
    }
}

void ChartBase::setHeaderText(const QString& text) { header_ = text; touch(); }
void ChartBase::setHeaderShown(bool shown) { headerShown_ = shown; touch(); }
void ChartBase::setFooterText(const QString& text) { footer_ = text; touch(); }
void ChartBase::setFooterShown(bool shown) { footerShown_ = shown; touch(); }
void ChartBase::setLegendShown(bool shown) { legendShown_ = shown; touch(); }

QImage ChartBase::renderImage() const
{
    QImage image(size_, QImage::Format_RGB32);
    render(image);
    return image;
}

bool ChartBase::exportBmp(const QString& path, QString* error) const
{
    return SavePicture(renderImage(), path, PictureFormat::Bmp, 100, error);
}

bool ChartBase::exportJpeg(const QString& path, int quality, QString* error) const
{
    return SavePicture(renderImage(), path, PictureFormat::Jpeg, quality, error);
}

} // namespace charts
