// Kernel environment, error codes and the error file.
#include "thumbctl/kernel/ipi_env.h"

#include "thumbctl/kernel/ipi_object.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char* const kMessages[] = {
    "No error",
    "Closure failure",
    "Division by zero",
    "Exceed implementation",
    "Illegal data type conversion",
    "Incorrect data type",
    "Incorrect object class",
    "Initialization failure",
    "Insufficient size",
    "Invalid instance",
    "Mismatch data type",
    "Mismatch object class",
    "Non-permissible option",
    "Not integer multiples of the block",
    "Not a positive integer",
    "Not a positive even integer",
    "Not a positive odd integer",
    "Not a power of two",
    "Out of range",
    "Semantical error within data stream",
    "State is CLOSED when OPEN is expected",
    "State is OPEN when CLOSED is expected",
    "Syntactical error within data stream",
    "Upper bound is smaller than lower bound",
    "Invalid handle",
    "File Open Failure",
    "File Not Found",
};

// The settings block, in record order, with its defaults.
struct Setting {
    const char* name;
    int32_t IPIENVIRONMENT::*field;
    int32_t value;
};

const Setting kSettings[] = {
    {"booleanPrecision", &IPIENVIRONMENT::booleanPrecision, 1},
    {"nonnegativeIntegerPrecision", &IPIENVIRONMENT::nonnegativeIntegerPrecision, 8},
    {"signedIntegerPrecision", &IPIENVIRONMENT::signedIntegerPrecision, 16},
    {"realArithmeticPrecision", &IPIENVIRONMENT::realArithmeticPrecision, 32},
    {"complexArithmeticPrecision", &IPIENVIRONMENT::complexArithmeticPrecision, 64},
    {"boundaryCondition", &IPIENVIRONMENT::boundaryCondition, 231},
    {"colourQuantization", &IPIENVIRONMENT::colourQuantization, 211},
    {"comformanceProfile", &IPIENVIRONMENT::comformanceProfile, 86},
    {"errorDiffusion", &IPIENVIRONMENT::errorDiffusion, 85},
    {"errorReportingState", &IPIENVIRONMENT::errorReportingState, 0},
    {"indexAssignmentState", &IPIENVIRONMENT::indexAssignmentState, 0},
    {"interpolation", &IPIENVIRONMENT::interpolation, 191},
    {"matchPointState", &IPIENVIRONMENT::matchPointState, 0},
    {"morphologicalOperation", &IPIENVIRONMENT::morphologicalOperation, 0},
    {"operationalState", &IPIENVIRONMENT::operationalState, ipiStateClosed},
    {"realArithmeticImplementation", &IPIENVIRONMENT::realArithmeticImplementation, 161},
    {"roiState", &IPIENVIRONMENT::roiState, 0},
    {"synchronicityState", &IPIENVIRONMENT::synchronicityState, 1},
    {"thresholdRamp", &IPIENVIRONMENT::thresholdRamp, 42},
    {"byteBoundary", &IPIENVIRONMENT::byteBoundary, 0},
    {"progressive", &IPIENVIRONMENT::progressive, 0},
    {"interlacePass", &IPIENVIRONMENT::interlacePass, 1},
    {"debugState", &IPIENVIRONMENT::debugState, 0},
    {"xDimensionLimit", &IPIENVIRONMENT::xDimensionLimit, 0x7FFFFFFF},
    {"yDimensionLimit", &IPIENVIRONMENT::yDimensionLimit, 0x7FFFFFFF},
    {"zDimensionLimit", &IPIENVIRONMENT::zDimensionLimit, 0x7FFFFFFF},
    {"tDimensionLimit", &IPIENVIRONMENT::tDimensionLimit, 0x7FFFFFFF},
    {"bDimensionLimit", &IPIENVIRONMENT::bDimensionLimit, 0x7FFFFFFF},
};

const Setting* FindSetting(const char* name)
{
    if (!name) return nullptr;
    for (const auto& s : kSettings)
        if (std::strcmp(s.name, name) == 0) return &s;
    return nullptr;
}

} // namespace

const char* ipiErrorText(int code)
{
    if (code >= 0 && code <= 26) return kMessages[code];
    return nullptr;
}

IPIENVIRONMENT* ipiOpenEnvironment(const char* errorFile)
{
    auto* env = static_cast<IPIENVIRONMENT*>(std::calloc(1, sizeof(IPIENVIRONMENT)));
    if (!env) return nullptr;
    env->magic = ipiEnvironmentMagic;
    for (const auto& s : kSettings) env->*(s.field) = s.value;
    env->operationalState = ipiStateOpen;
    if (errorFile && *errorFile) {
        size_t n = std::strlen(errorFile) + 1;
        env->errorFileName = static_cast<char*>(std::malloc(n));
        if (!env->errorFileName) {
            std::memset(env, 0, sizeof(*env));
            std::free(env);
            return nullptr;
        }
        std::memcpy(env->errorFileName, errorFile, n);
        env->errorReportingState = 1;
    }
    return env;
}

int ipiCheckEnvironment(const IPIENVIRONMENT* env)
{
    if (!env || env->magic != ipiEnvironmentMagic || env->operationalState != ipiStateOpen)
        return ipiErrInvalidHandle;
    return 0;
}

int ipiCloseEnvironment(IPIENVIRONMENT* env)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    ipiFreeObjectTree(env);
    std::free(env->workBuffer);
    std::free(env->errorFileName);
    std::memset(env, 0, sizeof(*env));
    std::free(env);
    return 0;
}

void ipiWriteErrorMessage(const char* fileName, int code)
{
    if (!fileName) return;
    char text[300];
    std::memset(text, 0, sizeof(text));
    const char* message = code == -1 ? std::strerror(errno) : ipiErrorText(code);
    if (!message) message = "Unknown error";
    std::snprintf(text, sizeof(text), "ipi: %s\n", message);
    size_t len = std::strlen(text);
    if (len < 298 && len > 0 && text[len - 1] == '\n') {
        text[len - 1] = '\r';
        text[len] = '\n';
        ++len;
    }
    // Append, creating the file when it does not exist; never truncate.
    FILE* f = std::fopen(fileName, "ab");
    if (!f) return;
    std::fwrite(text, 1, len, f);
    std::fclose(f);
}

int ipiReportError(IPIENVIRONMENT* env, int code)
{
    if (ipiCheckEnvironment(env) != 0 || code == 0) return code;
    int savedErrno = errno;
    env->lastError = code;
    if (env->errorReportingState) {
        errno = savedErrno;
        ipiWriteErrorMessage(env->errorFileName ? env->errorFileName : "stderr", code);
    }
    errno = savedErrno;
    return code;
}

int ipiGetError(const IPIENVIRONMENT* env)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    return env->lastError;
}

int ipiSetEnvironmentAttributes(IPIENVIRONMENT* env, const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (count < 1 || !attributes) return 0;
    for (int i = 0; i < count; ++i) {
        const Setting* s = FindSetting(attributes[i].name);
        if (!s) return ipiReportError(env, ipiErrOutOfRange);
        env->*(s->field) = int32_t(attributes[i].value);
    }
    return 0;
}

int ipiGetEnvironmentAttribute(IPIENVIRONMENT* env, const IPIATTRIBUTE* attributes, int count)
{
    if (int rc = ipiCheckEnvironment(env)) return rc;
    if (count < 1 || !attributes) return 0;
    for (int i = 0; i < count; ++i) {
        const Setting* s = FindSetting(attributes[i].name);
        if (!s) return ipiReportError(env, ipiErrOutOfRange);
        if (auto* out = reinterpret_cast<IPIVALUE*>(attributes[i].value)) *out = env->*(s->field);
    }
    return 0;
}

int32_t ipiGetEnvironmentValue(const IPIENVIRONMENT* env, const char* name)
{
    if (ipiCheckEnvironment(env)) return 0;
    const Setting* s = FindSetting(name);
    return s ? env->*(s->field) : 0;
}

void* ipiAllocZero(IPIENVIRONMENT* env, int64_t size)
{
    void* p = nullptr;
    if (size > 0 && size <= kIpiMaxBytes) p = std::calloc(1, size_t(size));
    if (!p) {
        errno = ENOMEM;
        ipiReportError(env, ipiErrSystem);
    }
    return p;
}

void ipiFree(void* block) { std::free(block); }
