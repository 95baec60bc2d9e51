// Paths as bytes and their QString forms (see pathtext.h).
#include "platform/pathtext.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

// Length of the valid UTF-8 sequence at s[i] (1..4), 0 when there is none:
// no overlong form, no surrogate, nothing past U+10FFFF.
int Utf8SequenceAt(const std::string& s, size_t i, char32_t* cp)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    int n = 0;
    char32_t v = 0, min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, v = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, v = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, v = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + size_t(n) > s.size()) return 0;
    for (int k = 1; k < n; ++k) {
        const unsigned char t = b(i + size_t(k));
        if ((t & 0xC0) != 0x80) return 0;
        v = (v << 6) | (t & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return n;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entries of a folder whose names the file-name encoding shows as `part`.
std::vector<std::string> EntriesShownAs(const std::string& folder, const QString& part)
{
    std::vector<std::string> found;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return found;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && QFile::decodeName(QByteArray::fromStdString(name)) == part)
            found.push_back(name);
    }
    ::closedir(d);
    return found;
}

} // namespace

QString PathText(const std::string& bytes)
{
    QString text;
    text.reserve(int(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int n = Utf8SequenceAt(bytes, i, &cp);
        if (n == 0) {
            text += QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            text += QChar(QChar::highSurrogate(cp));
            text += QChar(QChar::lowSurrogate(cp));
        } else {
            text += QChar(char16_t(cp));
        }
        i += size_t(n);
    }
    return text;
}

std::string PathBytes(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += char(u - 0xDC00);   // a byte that is no UTF-8
        } else if (QChar::isSurrogate(u)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string CommandLinePath(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    if (line.empty() || line[0] == '/' || !Exists(line)) return line;
    std::vector<char> cwd(4096);
    while (!::getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE) return line;
        cwd.resize(cwd.size() * 2);
    }
    // The current folder's parts, then the line's: "." dropped, ".." taking
    // the part before it away (as the start always made a relative name
    // absolute).
    std::vector<std::string> parts;
    const std::string joined = std::string(cwd.data()) + "/" + line;
    for (size_t start = 0; start <= joined.size();) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string absolute;
    for (const std::string& part : parts) absolute += "/" + part;
    return absolute.empty() ? "/" : absolute;
}

bool PathOnDisk(const QString& shown, std::string* bytes)
{
    const QStringList parts = shown.split('/');
    std::string path;
    for (qsizetype k = 0; k < parts.size(); ++k) {
        const QString& part = parts[k];
        if (k > 0) path += '/';
        if (part.isEmpty() || part == "." || part == "..") {
            path += part.toStdString();
            continue;
        }
        const std::string folder = k == 0 ? std::string(".") : (path.size() > 1 ? path.substr(0, path.size() - 1) : "/");
        const std::vector<std::string> entries = EntriesShownAs(folder, part);
        if (entries.size() > 1) return false;
        path += entries.empty() ? QFile::encodeName(part).toStdString() : entries[0];
    }
    *bytes = path;
    return true;
}

} // namespace platform
