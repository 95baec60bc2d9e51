#pragma once
// A path is the bytes the system gave (the command line, a folder listing):
// the model keeps every path so, and a name need not be UTF-8. These are the
// only conversions between such bytes and the QStrings of Qt, so that a name
// never turns into its neighbour's on the way in (the hand-over, a dialog's
// choice) or out (a picture writer).
#include <QString>

#include <string>

namespace platform {

// Why a name cannot be taken: the text of a dialog names more than one file
// (two names whose bytes differ only where they are not valid in the file-name
// encoding show alike).
inline constexpr const char* kNameEncodingReason = "The file name is not valid in this system's file-name encoding.";

// A path's bytes as text that PathBytes turns back into the same bytes: each
// valid UTF-8 sequence as its character, each other byte as U+DC80..U+DCFF
// (0xDC00 plus the byte). A UTF-8 path is its plain text. For carrying a path
// through a QString (the hand-over, the picture writers, windows that keep a
// folder as text); never for showing it (QFile::decodeName shows it).
QString PathText(const std::string& bytes);
// The bytes of a PathText text; other text as its UTF-8 (a surrogate that
// stands for no byte as U+FFFD).
std::string PathBytes(const QString& text);

// The command line of a start: the arguments after the program's name joined
// by spaces, as bytes; an existing relative path is made absolute against the
// current folder ("." and ".." taken away, no link resolved).
std::string CommandLinePath(int argc, const char* const* argv);

// The file (or folder) on disk a Qt file dialog names with `shown` (its text
// decoded by the file-name encoding): each part of the path is the one entry
// of its folder whose decoded name is that part; a part no entry shows (a new
// file's name) is its encoded text. False when a part shows as more than one
// entry: the text cannot tell which file the user chose.
bool PathOnDisk(const QString& shown, std::string* bytes);

} // namespace platform
