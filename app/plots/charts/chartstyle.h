#pragma once
// Appearance styles of the 3D chart: the colour ramp of the levels and how
// contour lines and surface meshes are drawn. Styles are small text files
// (".sty", format described in chartstyle.cpp and app/plots/styles/README.md);
// each of the shipped files also has a built-in twin used when the file is
// missing or broken.
#include <QColor>
#include <QString>
#include <vector>

namespace charts {

struct ChartStyle {
    QString name = "Default";
    std::vector<QColor> ramp;     // level colours, lowest level first (>= 1 colour)
    QColor lineColour;            // contour lines; invalid: each line in its level's colour
    double lineWidth = 1.5;       // contour line width in pixels
    QColor meshColour;            // surface cell outlines; invalid: none

    // Colour at t in [0, 1] along the ramp (linear between neighbouring colours).
    QColor rampColour(double t) const;
};

// The built-in default (blue - cyan - green - yellow - red, coloured lines).
ChartStyle DefaultStyle();

// Built-in twin of a shipped style, chosen by file name without regard to
// case ("Colorfill Contour.sty", "Grayfill Contour.sty", "Colorline
// Contour.sty", "Blackline Contour.sty", "Colorgray Contour.sty"); the
// default style for any other name.
ChartStyle BuiltInStyle(const QString& fileName);

// Parses style text; false (with a reason) when it is not a valid style.
bool ParseStyle(const QString& text, ChartStyle* style, QString* error);

// Reads and parses a style file; false (with a reason) when the file cannot
// be read or is not a valid style.
bool ReadStyleFile(const QString& path, ChartStyle* style, QString* error);

// Writes a style in the file format (used to produce the shipped files and by tests).
QString FormatStyle(const ChartStyle& style);

} // namespace charts
