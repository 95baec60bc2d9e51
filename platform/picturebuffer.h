#pragma once
// Image view over an 8-bit grey picture, one screen pixel per image pixel,
// with one rectangular region of interest drawn over it. It loads 8-bit BMP
// pictures (their palette indices) and TIFF pictures (through Strandel), and
// exchanges pixel rows as 32-bit values.
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace platform {

class PictureBuffer : public QWidget {
    Q_OBJECT
public:
    enum class LoadResult {
        Ok,
        NoFileName,      // no file name set
        CannotOpen,      // missing or unreadable file
        NotEightBit,     // a BMP of another depth: its values would not be bytes
        Unsupported,     // neither a BMP nor a TIFF picture, or a compressed BMP
        BadFile,         // damaged or truncated picture
    };

    explicit PictureBuffer(QWidget* parent = nullptr);

    // File name used by load().
    void setFileName(const QString& path) { fileName_ = path; }
    QString fileName() const { return fileName_; }

    // Loads the picture named by fileName(). On failure the picture in the
    // buffer is left as it was and lastError() tells why.
    LoadResult load();
    QString lastError() const { return lastError_; }

    int imageWidth() const { return width_; }
    int imageHeight() const { return height_; }
    const std::vector<uint8_t>& pixels() const { return pixels_; }

    // One row, one 32-bit value per pixel (0 to 255). False for a row outside
    // the picture. Writing stores each value's low byte clamped to 0..255 and
    // redraws.
    bool readRow(int y, int32_t* row) const;
    bool writeRow(int y, const int32_t* row);
    std::vector<int32_t> readRow(int y) const;
    bool writeRow(int y, const std::vector<int32_t>& row);

    // A new picture of the given size filled with `fill` (a colour
    // 0x00BBGGRR: 0 gives black 0, 0xFFFFFF white 255; a grey level below
    // 256 is taken as it is). The view takes the picture's size.
    void createBlank(int width, int height, uint32_t fill = 0);
    // Takes over the picture of `source` (itself allowed); with regionOnly just
    // the part of the source's region that lies on its picture. False, and
    // nothing changes, when there is nothing to take.
    bool takeOver(const PictureBuffer& source, bool regionOnly = false);
    // Replaces the picture with given pixels (cols x rows, x fastest).
    void setPicture(int width, int height, std::vector<uint8_t> pixels);

    // Region of interest in image pixels. Values set as floating point are
    // kept as the nearest integer (halves to even).
    void setRoiLeft(double v);
    void setRoiTop(double v);
    void setRoiWidth(double v);
    void setRoiHeight(double v);
    void setRoi(double left, double top, double width, double height);
    int roiLeft() const { return roiLeft_; }
    int roiTop() const { return roiTop_; }
    int roiWidth() const { return roiWidth_; }
    int roiHeight() const { return roiHeight_; }

    // Outline colour as 0x00BBGGRR (255 red, 65280 green).
    void setOutlineColor(uint32_t bgr);
    uint32_t outlineColor() const { return outlineColor_; }
    // Outline off around a change of the region and on after it.
    void outlineOff();
    void outlineOn();
    bool isOutlineOn() const { return outlineOn_; }
    // Whether the region is shown at all (on by default).
    void setRegionDisplay(bool on);
    bool regionDisplay() const { return regionDisplay_; }
    // True when the region outline is drawn now.
    bool regionVisible() const { return outlineOn_ && regionDisplay_; }

    // Redraws the view.
    void refresh();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // button: 1 left, 2 right, 4 middle; shift: 1 Shift, 2 Ctrl, 4 Alt;
    // x and y in image pixels.
    void mouseDown(int button, int shift, double x, double y);
    void mouseMove(int button, int shift, double x, double y);
    void mouseUp(int button, int shift, double x, double y);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void pictureChanged();

    QString fileName_;
    QString lastError_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
    int roiLeft_ = 0, roiTop_ = 0, roiWidth_ = 0, roiHeight_ = 0;
    uint32_t outlineColor_ = 255;
    bool outlineOn_ = false;
    bool regionDisplay_ = true;
    bool pressed_ = false;
};

} // namespace platform
