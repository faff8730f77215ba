// Codes the library benchmarks draw and store.
#pragma once

namespace bench {

// A three-frame code: 32, 16 and 32 bits.
inline constexpr const char* kThreeFrames =
    "2A0E0081AC40D28C6001A8204C8A0001684010B64FE33AC5A55A0FF000";

}  // namespace bench
