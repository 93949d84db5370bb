// The ways ScanTraffic can measure a chunk, one for each instruction set it is built for. All give
// the same answer; ScanTraffic takes the widest the processor runs, and tests take each in turn.
#ifndef BRINDLE_PLATFORM_TEXT_TRAFFIC_SCAN_PATHS_H
#define BRINDLE_PLATFORM_TEXT_TRAFFIC_SCAN_PATHS_H

#include "platform/text/traffic_format.h"

#include <cstdint>
#include <string_view>

enum class TrafficScanPath {
    portable, // eight bytes at a time in plain C++
    sse2, // sixteen at a time (x86-64)
    avx2, // thirty-two at a time (x86-64 processors that have AVX2)
    avx512, // thirty-two at a time, the line's room kept in a vector (AVX-512 BW, VL and VBMI2)
};

// Whether this build has the path and this processor runs it.
bool TrafficScanPathRuns(TrafficScanPath path);

// ScanTraffic by the given path, which must run here.
TrafficExtent ScanTrafficBy(
    TrafficScanPath path, std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts);

#endif
