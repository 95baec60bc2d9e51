#pragma once
// Test helpers on kernel objects: an environment closed at the end of its
// scope, and the bytes of an object's store.
#include "thumbctl/kernel/codec_io.h"
#include "thumbctl/kernel/ipi.h"

#include <cstdint>
#include <vector>

struct Env {
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    Env() = default;
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;
    ~Env() { ipiCloseEnvironment(env); }
};

// The whole store of `o`; empty when it cannot be opened.
inline std::vector<uint8_t> StoreBytes(IPIENVIRONMENT* env, IPIOBJECT* o)
{
    std::vector<uint8_t> b;
    CodecReadAll(env, o, -1, &b);
    return b;
}
