#pragma once
// The two conversions between the model's texts (UTF-8 std::string) and the
// texts of the windows (QString), shared by every window. Paths the file
// system gives go through QFile::encodeName / decodeName instead, so that
// their bytes survive.
#include <QString>

#include <string>

namespace platform {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

} // namespace platform
