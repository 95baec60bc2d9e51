#include "app/core/header.h"

#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/messages.h"

#include <cmath>

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

std::string AfterColon(const std::string& s)
{
    const size_t c = s.find(':');
    return c == std::string::npos ? s : s.substr(c + 1);
}

} // namespace

bool UsableFringeValue(double mils)
{
    // Fringe values are held as floats: the bounds are compared as floats too,
    // so that a value written as 0.0001 passes as the rule states.
    const float v = static_cast<float>(mils);
    return std::isfinite(mils) && v >= static_cast<float>(kMinFringeValue) &&
           v <= static_cast<float>(kMaxFringeValue);
}

std::string FringeValueRule()
{
    return "A fringe value must be a number of mils from " + ShortText(static_cast<float>(kMinFringeValue)) +
           " to " + ShortText(static_cast<float>(kMaxFringeValue)) + ".";
}

bool HasMakerHeader(const std::string& headerText) { return StartsWithNoCase(headerText, kHeaderMaker); }

HeaderParse ParseHeaderText(const std::string& headerText)
{
    HeaderParse h;
    std::string s = headerText;
    if (s.size() > kMaxHeaderLength)
        return h;
    std::string line2;
    if (!TakeLine(s, nullptr) || !TakeLine(s, &line2))
        return h;
    const std::string countText = AfterColon(line2);
    double countValue = 0;
    int16_t count = 0;
    if (!ParseNumber(countText, &countValue) || !RoundToInt16(countValue, &count) || count < 9)
        return h;
    h.haveFields = true;
    h.fields.assign(count, std::string());
    h.fields[0] = kHeaderMaker;
    h.fields[1] = "Header Fields:" + countText;
    for (int i = 3; i <= count; ++i)
        if (!TakeLine(s, &h.fields[i - 1]))
            return h;
    double fringe = 0;
    if (!ParseNumber(AfterColon(h.fields[8]), &fringe) || !std::isfinite(static_cast<float>(fringe)))
        return h;
    h.result = StartsWithNoCase(s, kHeaderEnd) ? HeaderParse::Whole : HeaderParse::EndLineMissing;
    h.fringeValue = static_cast<float>(fringe);
    return h;
}

bool ParseImageHeader()
{
    HeaderParse h = ParseHeaderText(model::files.ImageHeaderText);
    if (h.haveFields)
        model::files.HeaderFields = std::move(h.fields);
    if (h.result != HeaderParse::Whole)
        platform::ShowMessage(kHeaderReadError, platform::kMsgOkOnly, model::AppTitle);
    model::state.HeaderFringeValue = h.fringeValue;
    return h.result != HeaderParse::Broken;
}

} // namespace core
