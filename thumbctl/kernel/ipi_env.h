#pragma once
// Image kernel environment: the record every kernel operation runs in.
//
// Usage in a codec: call ipiCheckEnvironment(env) first and return its code
// when nonzero; on failure call `return ipiReportError(env, code);` (it
// records the code as last error, writes the error file line when reporting
// is on, and returns the code). Scratch memory: ipiAllocZero / ipiFree.
#include "thumbctl/kernel/ipi_base.h"

struct IPIENVIRONMENT {
    int32_t magic;               // ipiEnvironmentMagic while alive
    void* workBuffer;            // freed at close when set
    int32_t lastError;
    char* errorFileName;         // heap copy or null
    IPIOBJECT* root;             // top-level chain of the object tree

    // The 28 settings, in the order of the default block.
    int32_t booleanPrecision;
    int32_t nonnegativeIntegerPrecision;
    int32_t signedIntegerPrecision;
    int32_t realArithmeticPrecision;
    int32_t complexArithmeticPrecision;
    int32_t boundaryCondition;
    int32_t colourQuantization;
    int32_t comformanceProfile;
    int32_t errorDiffusion;
    int32_t errorReportingState;
    int32_t indexAssignmentState;
    int32_t interpolation;
    int32_t matchPointState;
    int32_t morphologicalOperation;
    int32_t operationalState;
    int32_t realArithmeticImplementation;
    int32_t roiState;
    int32_t synchronicityState;
    int32_t thresholdRamp;
    int32_t byteBoundary;
    int32_t progressive;
    int32_t interlacePass;
    int32_t debugState;
    int32_t xDimensionLimit;
    int32_t yDimensionLimit;
    int32_t zDimensionLimit;
    int32_t tDimensionLimit;
    int32_t bDimensionLimit;
};

// Opens an environment; `errorFile` non-empty switches error reporting on
// with that file. Null when memory runs out.
IPIENVIRONMENT* ipiOpenEnvironment(const char* errorFile);
// Frees every object (and its data, temporary files included). 0 or 24.
int ipiCloseEnvironment(IPIENVIRONMENT* env);
// 0 for a live, open environment; else 24.
int ipiCheckEnvironment(const IPIENVIRONMENT* env);
// Records `code` as last error (and appends "ipi: <message>\r\n" to the
// error file when reporting is on). Returns `code`. Code 0 is ignored.
int ipiReportError(IPIENVIRONMENT* env, int code);
// 24 for an invalid environment, else the last error.
int ipiGetError(const IPIENVIRONMENT* env);

// Settings by name (the 28 names of the record, `operationalState` too).
// Unknown name: reports 18 and returns 18 at once.
int ipiSetEnvironmentAttributes(IPIENVIRONMENT* env, const IPIATTRIBUTE* attributes, int count);
// Each value is the address of an IPIVALUE that receives the setting.
int ipiGetEnvironmentAttribute(IPIENVIRONMENT* env, const IPIATTRIBUTE* attributes, int count);
// One setting by name; 0 for an unknown name or environment.
int32_t ipiGetEnvironmentValue(const IPIENVIRONMENT* env, const char* name);

// Zero-filled heap block; reports -1 (ENOMEM) and returns null on failure or
// when `size` is 0 or above kIpiMaxBytes. Release with ipiFree.
void* ipiAllocZero(IPIENVIRONMENT* env, int64_t size);
void ipiFree(void* block);

// Writes one error line to the named file (used by ipiReportError).
void ipiWriteErrorMessage(const char* fileName, int code);
