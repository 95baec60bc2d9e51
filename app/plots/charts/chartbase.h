#pragma once
// What every chart has, whatever it draws: the picture size, change batching,
// the header, footer and legend switches, the interactive action table and
// the picture export. Chart3D and Chart2D build on it.
//
// Every setter marks the chart changed; while change batching is on the chart
// collects the changes and reports them once when batching ends.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <vector>

namespace charts {

// One entry of the interactive action table (see chartview.h for the codes).
struct ChartAction {
    int message = 0;
    int modifier = 0;
    int key = 0;
    int action = 0;
};

class ChartBase : public QObject {
    Q_OBJECT
public:
    explicit ChartBase(QObject* parent = nullptr) : QObject(parent) {}

    // --- How big the picture is (chart pixels: the widget's, or the picture's).
    void setSize(QSize size);
    QSize size() const { return size_; }

    // --- Change batching: one report of change when it is turned off.
    void setIsBatched(bool on);
    bool isBatched() const { return batched_; }

    // --- Header, footer and legend.
    void setHeaderText(const QString& text);
    QString headerText() const { return header_; }
    void setHeaderShown(bool shown);
    bool headerShown() const { return headerShown_; }
    void setFooterText(const QString& text);
    QString footerText() const { return footer_; }
    void setFooterShown(bool shown);
    bool footerShown() const { return footerShown_; }
    void setLegendShown(bool shown);
    bool legendShown() const { return legendShown_; }

    // --- Action table.
    void removeAllActions() { actions_.clear(); }
    void addAction(int message, int modifier, int key, int action) { actions_.push_back({message, modifier, key, action}); }
    const std::vector<ChartAction>& actions() const { return actions_; }

    // --- Pictures: the chart drawn into an image of its size, and that image
    // exported as BMP (24 bits) or JPEG (chartexport.h).
    virtual void render(QImage& image) const = 0;
    QImage renderImage() const;
    bool exportBmp(const QString& path, QString* error = nullptr) const;
    bool exportJpeg(const QString& path, int quality = 100, QString* error = nullptr) const;

signals:
    // The chart changed and needs a redraw (once per batch).
    void changed();

protected:
    // Marks the chart changed: drops what was derived from it and reports the
    // change (or keeps it for the end of the batch).
    void touch();
    // Drops state derived from the chart's settings; called on every change.
    virtual void invalidate() {}

private:
    QSize size_{860, 560};
    bool batched_ = false, pending_ = false;
    QString header_, footer_;
    bool headerShown_ = true, footerShown_ = true, legendShown_ = true;
    std::vector<ChartAction> actions_;
};

} // namespace charts
