// Chart style files.
//
// Format (plain text, UTF-8, one entry a line):
//
//   sorvanta-chart-style 1          first line that is not blank or a comment
//   # a comment                     lines starting with '#' are ignored
//   name = Colorfill Contour        free text
//   ramp = #0000FF #00FFFF #FF0000  1 to 64 colours, lowest level first
//   line-color = ramp               contour lines in their level's colour,
//   line-color = #000000            or all in one colour
//   line-width = 1.5                contour line width in pixels, 0.1 to 20
//   mesh-color = none               surface cell outlines: none or a colour
//
// Keys are matched without regard to case, each may appear once, "ramp" is
// required, the others default to the values shown in ChartStyle. Colours are
// written #RRGGBB. Anything else (an unknown key, a line without '=', a bad
// colour or number, a wrong first line) makes the whole file invalid.
#include "chartstyle.h"

#include "app/core/runtime.h"
#include "platform/regular_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <cmath>

namespace charts {

namespace {

const char* kMagic = "sorvanta-chart-style";
constexpr size_t kMaxStyleBytes = 1 << 20;

bool ParseColour(const QString& text, QColor* colour)
{
    const QString t = text.trimmed();
    if (t.size() != 7 || t[0] != '#') return false;
    bool ok = false;
    const uint v = t.mid(1).toUInt(&ok, 16);
    if (!ok) return false;
    *colour = QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return true;
}

std::vector<QColor> ColourRamp()
{
    return {QColor(0, 0, 160), QColor(0, 96, 255), QColor(0, 224, 255), QColor(0, 200, 80),
            QColor(160, 230, 0), QColor(255, 230, 0), QColor(255, 128, 0), QColor(210, 0, 0)};
}

std::vector<QColor> GreyRamp() { return {QColor(40, 40, 40), QColor(245, 245, 245)}; }

} // namespace

QColor ChartStyle::rampColour(double t) const
{
    if (ramp.empty()) return QColor(128, 128, 128);
    if (ramp.size() == 1 || !(t > 0.0)) return ramp.front();
    if (t >= 1.0) return ramp.back();
    const double pos = t * double(ramp.size() - 1);
    const int i = int(std::floor(pos));
    const double f = pos - i;
    const QColor& a = ramp[size_t(i)];
    const QColor& b = ramp[size_t(i + 1)];
    auto mix = [f](int x, int y) { return int(std::lround(x + (y - x) * f)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

ChartStyle DefaultStyle()
{
    ChartStyle s;
    s.name = "Default";
    s.ramp = ColourRamp();
    return s;
}

ChartStyle BuiltInStyle(const QString& fileName)
{
    const QString n = QFileInfo(fileName).fileName().toLower();
    ChartStyle s = DefaultStyle();
    if (n == "colorfill contour.sty") {
        s.name = "Colorfill Contour";
    } else if (n == "grayfill contour.sty") {
        s.name = "Grayfill Contour";
        s.ramp = GreyRamp();
        s.lineColour = QColor(0, 0, 0);
    } else if (n == "colorline contour.sty") {
        s.name = "Colorline Contour";
        s.lineWidth = 2.0;
    } else if (n == "blackline contour.sty") {
        s.name = "Blackline Contour";
        s.lineColour = QColor(0, 0, 0);
        s.lineWidth = 1.0;
    } else if (n == "colorgray contour.sty") {
        s.name = "Colorgray Contour";
        s.ramp = GreyRamp();
        s.lineColour = QColor(0, 0, 0);
        s.meshColour = QColor(0, 0, 0);
    }
    return s;
}

bool ParseStyle(const QString& text, ChartStyle* style, QString* error)
{
    auto fail = [error](int line, const QString& why) {
        if (error) *error = line > 0 ? QString("line %1: %2").arg(line).arg(why) : why;
        return false;
    };
    ChartStyle s;
    s.name.clear();
    s.ramp.clear();
    bool sawMagic = false;
    QSet<QString> seen;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (!sawMagic) {
            const QStringList parts = line.split(' ', Qt::SkipEmptyParts);
            if (parts.size() != 2 || parts[0].compare(kMagic, Qt::CaseInsensitive) != 0)
                return fail(lineNo, "not a chart style file");
            if (parts[1] != "1") return fail(lineNo, "unsupported style version " + parts[1]);
            sawMagic = true;
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq < 0) return fail(lineNo, "expected key = value");
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (seen.contains(key)) return fail(lineNo, "repeated key " + key);
        seen.insert(key);
        if (key == "name") {
            s.name = value;
        } else if (key == "ramp") {
            const QStringList cols = value.split(' ', Qt::SkipEmptyParts);
            if (cols.isEmpty() || cols.size() > 64) return fail(lineNo, "ramp needs 1 to 64 colours");
            for (const QString& c : cols) {
                QColor colour;
                if (!ParseColour(c, &colour)) return fail(lineNo, "bad colour " + c);
                s.ramp.push_back(colour);
            }
        } else if (key == "line-color") {
            if (value.compare("ramp", Qt::CaseInsensitive) == 0) {
                s.lineColour = QColor();
            } else if (!ParseColour(value, &s.lineColour)) {
                return fail(lineNo, "bad colour " + value);
            }
        } else if (key == "line-width") {
            bool ok = false;
            const double w = value.toDouble(&ok);
            if (!ok || !(w >= 0.1 && w <= 20.0)) return fail(lineNo, "bad line width " + value);
            s.lineWidth = w;
        } else if (key == "mesh-color") {
            if (value.compare("none", Qt::CaseInsensitive) == 0) {
                s.meshColour = QColor();
            } else if (!ParseColour(value, &s.meshColour)) {
                return fail(lineNo, "bad colour " + value);
            }
        } else {
            return fail(lineNo, "unknown key " + key);
        }
    }
    if (!sawMagic) return fail(0, "not a chart style file");
    if (s.ramp.empty()) return fail(0, "no ramp given");
    if (s.name.isEmpty()) s.name = "Unnamed";
    *style = s;
    return true;
}

bool ReadStyleFile(const QString& path, ChartStyle* style, QString* error)
{
    // A regular file of at most a megabyte, never a pipe or device waited on.
    std::string bytes, failure;
    if (!platform::ReadRegularFile(QFile::encodeName(path).toStdString(), kMaxStyleBytes, &bytes, &failure)) {
        if (error) *error = QString::fromStdString(failure);
        return false;
    }
    QString why;
    if (!ParseStyle(QString::fromUtf8(bytes.data(), int(bytes.size())), style, &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    return true;
}

QString FormatStyle(const ChartStyle& style)
{
    auto hex = [](const QColor& c) { return c.name(QColor::HexRgb).toUpper(); };
    QString out = QString(kMagic) + " 1\n";
    out += "name = " + style.name + "\n";
    QStringList cols;
    for (const QColor& c : style.ramp) cols << hex(c);
    out += "ramp = " + cols.join(' ') + "\n";
    out += "line-color = " + (style.lineColour.isValid() ? hex(style.lineColour) : QString("ramp")) + "\n";
    out += "line-width = " + QString::number(style.lineWidth) + "\n";
    out += "mesh-color = " + (style.meshColour.isValid() ? hex(style.meshColour) : QString("none")) + "\n";
    return out;
}

} // namespace charts
