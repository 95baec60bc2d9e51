// Texts of the automation layer's status codes.
#include "thumbctl/control/host/status.h"

#include <cstdio>

namespace host {

std::string StatusHex(Status s)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", uint32_t(s));
    return buf;
}

std::string StatusText(Status s)
{
    switch (s) {
    case kOk: return "success";
    case kFalse: return "false";
    case kNotImplemented: return "not implemented";
    case kNoInterface: return "no such interface";
    case kInvalidPointer: return "invalid pointer";
    case kFail: return "failed";
    case kUnexpected: return "unexpected failure";
    case kOutOfMemory: return "out of memory";
    case kInvalidArg: return "invalid argument";
    case kUnknownName: return "unknown name";
    case kMemberNotFound: return "member not found";
    case kBadParamCount: return "wrong number of arguments";
    case kTypeMismatch: return "type mismatch";
    case kOverflow: return "value out of range for its type";
    case kException: return "exception raised";
    case kClassNotRegistered: return "class not registered";
    case kNoAggregation: return "class does not support aggregation";
    case kClassNotAvailable: return "class not available";
    case kModuleNotFound: return "module not found";
    case kSelfRegTypeLib: return "type library registration failed";
    case kSelfRegClass: return "class registration failed";
    case kCtlInvalidPropertyValue: return "invalid property value";
    case kCtlSetNotSupported: return "property cannot be set";
    case kCtlGetNotSupported: return "property cannot be read";
    default: break;
    }
    return "error " + StatusHex(s);
}

} // namespace host
