#include "app/core/header.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/messages.h"

namespace core {
namespace {

// Takes the next line (without its CR LF or LF) from s; false when s holds no LF.
bool TakeLine(std::string& s, std::string* line)
{
    const size_t lf = s.find('\n');
    if (lf == std::string::npos)
        return false;
    std::string l = s.substr(0, lf);
    if (!l.empty() && l.back() == '\r')
        l.pop_back();
    s.erase(0, lf + 1);
    if (line)
        *line = l;
    return true;
}

void ReportHeaderError()
{
    platform::ShowMessage("Error reading header information", platform::kMsgOkOnly, model::AppTitle);
}

bool Broken()
{
    ReportHeaderError();
    model::state.HeaderFringeValue = 0;
    return false;
}

std::string AfterColon(const std::string& s)
{
    const size_t c = s.find(':');
    return c == std::string::npos ? s : s.substr(c + 1);
}

} // namespace

bool HasMakerHeader(const std::string& headerText) { return StartsWithNoCase(headerText, kHeaderMaker); }

bool ParseImageHeader()
{
    auto& fields = model::files.HeaderFields;
    std::string s = model::files.ImageHeaderText;
    if (s.size() > kMaxHeaderLength)
        return Broken();
    std::string line2;
    if (!TakeLine(s, nullptr) || !TakeLine(s, &line2))
        return Broken();
    const std::string countText = AfterColon(line2);
    double countValue = 0;
    int16_t count = 0;
    if (!ParseNumber(countText, &countValue) || !RoundToInt16(countValue, &count) || count < 9)
        return Broken();
    fields.assign(count, std::string());
    fields[0] = kHeaderMaker;
    fields[1] = "Header Fields:" + countText;
    for (int i = 3; i <= count; ++i)
        if (!TakeLine(s, &fields[i - 1]))
            return Broken();
    double fringe = 0;
    if (!ParseNumber(AfterColon(fields[8]), &fringe))
        return Broken();
    if (!StartsWithNoCase(s, kHeaderEnd))
        ReportHeaderError();
    model::state.HeaderFringeValue = static_cast<float>(fringe);
    return true;
}

} // namespace core
