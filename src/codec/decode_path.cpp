// Choice of the block-decoding path, made once per Init.
#include "codec/idct.h"

namespace tamlorex {

#if defined(__SSE2__)
void WriteBlockAccelSse2(int16_t* block, uint8_t* dest, ptrdiff_t stride);
void WriteBlockAccelSse2Masked(int16_t* block, uint8_t* dest, ptrdiff_t stride, uint64_t acMask);
#endif

namespace {

void WriteBlockPlain(int16_t* block, uint8_t* dest, ptrdiff_t stride) {
    IdctPlain(block);
    StoreBlockSaturated(block, dest, stride);
}

void WriteBlockAccelScalar(int16_t* block, uint8_t* dest, ptrdiff_t stride) {
    IdctAccelScalar(block);
    StoreBlockSaturated(block, dest, stride);
}

// The plain and scalar paths have no use for the mask.
template <BlockWriter Write>
void IgnoreMask(int16_t* block, uint8_t* dest, ptrdiff_t stride, uint64_t) {
    Write(block, dest, stride);
}

enum class Processor { kSse2, kOtherAccelerated, kNone };

// Which accelerated transform the processor can run. SSE2 needs SSE2 and
// CMOV; processors with only SSE and CMOV, or MMX, run the same arithmetic
// in the scalar version; machines other than x86 always do.
Processor ProbeProcessor() {
#if defined(__x86_64__) || defined(__i386__)
    // Thread-safe one-time probe; the probe itself writes process state.
    static const Processor probed = [] {
        __builtin_cpu_init();
        bool cmov = __builtin_cpu_supports("cmov");
#if defined(__SSE2__)
        if (cmov && __builtin_cpu_supports("sse2")) return Processor::kSse2;
#endif
        if ((cmov && __builtin_cpu_supports("sse")) || __builtin_cpu_supports("mmx"))
            return Processor::kOtherAccelerated;
        return Processor::kNone;
    }();
    return probed;
#else
    return Processor::kOtherAccelerated;
#endif
}

}  // namespace

DecodePath SelectDecodePath(DecodePathOverride override) {
    switch (override) {
    case DecodePathOverride::kPlain:
        return DecodePath::kPlain;
    case DecodePathOverride::kAccelScalar:
        return DecodePath::kAccelScalar;
    case DecodePathOverride::kAccel:
        return ProbeProcessor() == Processor::kSse2 ? DecodePath::kAccelSse2 : DecodePath::kAccelScalar;
    case DecodePathOverride::kAuto:
        break;
    }
    switch (ProbeProcessor()) {
    case Processor::kSse2:
        return DecodePath::kAccelSse2;
    case Processor::kOtherAccelerated:
        return DecodePath::kAccelScalar;
    case Processor::kNone:
        break;
    }
    return DecodePath::kPlain;
}

BlockWriter GetBlockWriter(DecodePath path) {
    switch (path) {
    case DecodePath::kAccelSse2:
#if defined(__SSE2__)
        return WriteBlockAccelSse2;
#else
        return WriteBlockAccelScalar;
#endif
    case DecodePath::kAccelScalar:
        return WriteBlockAccelScalar;
    case DecodePath::kPlain:
        break;
    }
    return WriteBlockPlain;
}

MaskedBlockWriter GetMaskedBlockWriter(DecodePath path) {
    switch (path) {
    case DecodePath::kAccelSse2:
#if defined(__SSE2__)
        return WriteBlockAccelSse2Masked;
#else
        return IgnoreMask<WriteBlockAccelScalar>;
#endif
    case DecodePath::kAccelScalar:
        return IgnoreMask<WriteBlockAccelScalar>;
    case DecodePath::kPlain:
        break;
    }
    return IgnoreMask<WriteBlockPlain>;
}

const char* DecodePathName(DecodePath path) {
    switch (path) {
    case DecodePath::kAccelSse2:
        return "accel-sse2";
    case DecodePath::kAccelScalar:
        return "accel-scalar";
    case DecodePath::kPlain:
        break;
    }
    return "plain";
}

}  // namespace tamlorex
