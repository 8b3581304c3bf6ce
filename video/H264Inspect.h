#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One NAL unit, start code included, shared between copies of a NalUnitSet.
using NalBuffer = std::shared_ptr<std::vector<uint8_t>>;

// What an access unit holds, as far as the decoder's start is concerned: the
// parameter sets, the SEI unit and the IDR slice, and whether it is a key frame.
struct NalUnitSet {
    bool isKeyFrame = false;
    NalBuffer sps;
    NalBuffer pps;
    NalBuffer sei;
    NalBuffer idr;
};

// Splits an access unit (Annex B, four-byte start codes) into its NAL units and
// reports a key frame when it begins with an SPS and holds an SPS, a PPS and an
// IDR slice. Anything else gives a default set.
NalUnitSet inspectAccessUnit(const std::string& accessUnit);

// The same verdict as inspectAccessUnit(unit).isKeyFrame, without copying any
// unit: cheap enough for every unit of the stream.
bool isKeyFrameUnit(const std::string& accessUnit);

// The first min(length, 20) bytes as "%02X" pairs joined by the separator.
std::string hexPrefix(const uint8_t* data, size_t length, const std::string& separator);

// Diagnostic text: the key-frame flag and the first bytes of each unit.
std::string describe(const NalUnitSet& units);
