#include "app/editor/core/partition_file.h"

#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "app/editor/core/domain_names.h"

#include <fstream>
#include <sstream>

namespace editor {
namespace {

std::string NumberText(int v) { return std::to_string(v); }

// Splits a line into five fields as the reader always did: each field ends at
// the next TAB; with no TAB left the remaining text is the field and stays the
// remaining text, so a short line repeats its last field.
std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string rest = line;
    for (int j = 0; j < 5; ++j) {
        const size_t tab = rest.find('\t');
        if (tab == std::string::npos) {
            fields.push_back(rest);
        } else {
            fields.push_back(rest.substr(0, tab));
            rest = rest.substr(tab + 1);
        }
    }
    return fields;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    // Blank lines at the end (a hand-edited file) end the file.
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) lines.pop_back();
    return lines;
}

PartitionRead Refuse(const std::string& reason)
{
    PartitionRead r;
    r.status = PartitionRead::Invalid;
    r.reason = reason;
    return r;
}

} // namespace

std::string FormatPartitionFile(const std::vector<model::Domain>& domains, int width, int height)
{
    std::string out;
    for (const model::Domain& d : domains) {
        out += NumberText(d.Left) + '\t' + NumberText(d.Top) + '\t' + NumberText(d.Width) + '\t' +
               NumberText(d.Height) + '\t' + d.Name + "\r\n";
    }
    out += NumberText(width) + '\t' + NumberText(height) + "\t0\t0\t0\r\n";
    return out;
}

bool WritePartitionFile(const std::string& path, const std::vector<model::Domain>& domains, int width, int height,
                        std::string* error)
{
    return core::WriteFileAtomically(path, FormatPartitionFile(domains, width, height), error);
}

PartitionRead ParsePartitionText(const std::string& text, int imageWidth, int imageHeight)
{
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty()) return Refuse("The file is empty.");
    if (int(lines.size()) > kMaxPartitionDomains + 1)
        return Refuse("The file holds more than " + std::to_string(kMaxPartitionDomains) + " domains.");

    struct Row {
        int v[4] = {0, 0, 0, 0};
        std::string name;
    };
    std::vector<Row> rows;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> f = SplitFields(lines[i]);
        Row row;
        const std::string lineNo = "Line " + std::to_string(i + 1);
        for (int j = 0; j < 4; ++j) {
            double value = 0;
            int16_t v16 = 0;
            if (!core::ParseNumber(f[size_t(j)], &value)) return Refuse(lineNo + " holds a value that is not a number.");
            if (!core::RoundToInt16(value, &v16)) return Refuse(lineNo + " holds a number out of range.");
            row.v[j] = v16;
        }
        // A numeric name is kept as its 16-bit number.
        double nameValue = 0;
        if (core::ParseNumber(f[4], &nameValue)) {
            int16_t v16 = 0;
            if (!core::RoundToInt16(nameValue, &v16)) return Refuse(lineNo + " holds a number out of range.");
            row.name = std::to_string(v16);
        } else {
            row.name = f[4];
        }
        rows.push_back(row);
    }

    PartitionRead r;
    const Row& size = rows.back();
    r.width = size.v[0];
    r.height = size.v[1];
    if (r.width < 1 || r.height < 1) return Refuse("The image size of the last line is not valid.");
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::string lineNo = "Line " + std::to_string(i + 1);
        if (!RectInside(row.v[0], row.v[1], row.v[2], row.v[3], r.width, r.height))
            return Refuse(lineNo + " describes a domain outside the image.");
        if (!IsNumericName(row.name) && !IsSafeDomainName(row.name))
            return Refuse(lineNo + " holds a domain name that cannot be part of a file name.");
        r.domains.push_back({row.v[0], row.v[1], row.v[2], row.v[3], row.name});
    }
    if (r.width != imageWidth || r.height != imageHeight) {
        r.status = PartitionRead::SizeMismatch;
        return r;
    }
    r.status = PartitionRead::Ok;
    return r;
}

PartitionRead ReadPartitionFile(const std::string& path, int imageWidth, int imageHeight)
{
    // Regular files of a partition's size only: a pipe would block, an endless file never end.
    constexpr size_t kMaxPartitionBytes = 1 << 20;
    std::string text;
    if (!platform::ReadRegularFile(path, kMaxPartitionBytes, &text)) {
        PartitionRead r;
        r.status = PartitionRead::CannotOpen;
        r.reason = "The file cannot be read.";
        return r;
    }
    return ParsePartitionText(text, imageWidth, imageHeight);
}

PartitionRead LoadPartitionFile(const std::string& path)
{
    const auto& im = model::images;
    const int cols = im.FullXMax + 1;
    const int rows = im.FullYMax + 1;
    PartitionRead r = ReadPartitionFile(path, cols, rows);
    if (r.status != PartitionRead::Ok) return r;
    auto& mp = model::maskPartition;
    StorePartition(mp, r.domains, r.width, r.height);
    mp.PartitionFile = path;
    return r;
}

std::string PartitionSizeMessage(int width, int height)
{
    return "Partition file dimensions " + std::to_string(width) + " (X) x " + std::to_string(height) +
           " (Y) do not match current phase image size.";
}

std::vector<model::Domain> DomainsOf(const model::MaskAndPartition& mp, int count)
{
    std::vector<model::Domain> out;
    for (int i = 0; i < count && i < model::MaxDomains; ++i) out.push_back(mp.DomainTable[size_t(i)]);
    return out;
}

void StorePartition(model::MaskAndPartition& mp, const std::vector<model::Domain>& domains, int width, int height)
{
    const size_t n = std::min(domains.size(), size_t(kMaxPartitionDomains));
    for (size_t i = 0; i < n; ++i) mp.DomainTable[i] = domains[i];
    mp.DomainTable[n] = {width, height, 0, 0, "0"};
    mp.DomainCount = int16_t(n + 1);
}

bool RectInside(int left, int top, int width, int height, int cols, int rows)
{
    return left >= 0 && top >= 0 && width >= 1 && height >= 1 && int64_t(left) + width <= cols &&
           int64_t(top) + height <= rows;
}

} // namespace editor
