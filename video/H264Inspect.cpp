#include "video/H264Inspect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kStartCode[4] = {0x00, 0x00, 0x00, 0x01};
constexpr uint8_t kSpsPrefix[5] = {0x00, 0x00, 0x00, 0x01, 0x67};
constexpr uint8_t kPpsPrefix[5] = {0x00, 0x00, 0x00, 0x01, 0x68};
constexpr uint8_t kSeiPrefix[5] = {0x00, 0x00, 0x00, 0x01, 0x06};
constexpr uint8_t kIdrPrefix[5] = {0x00, 0x00, 0x00, 0x01, 0x65};

bool startsWith(const uint8_t* data, size_t length, const uint8_t (&prefix)[5]) {
    return length >= sizeof(prefix) && std::memcmp(data, prefix, sizeof(prefix)) == 0;
}

} // namespace

NalUnitSet inspectAccessUnit(const std::string& accessUnit) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(accessUnit.data());
    const size_t size = accessUnit.size();
    if (!startsWith(bytes, size, kSpsPrefix))
        return NalUnitSet{};

    // Every offset where a four-byte start code begins; the scan moves one byte
    // at a time, so a longer run of zeros leaves its extra zeros in the unit
    // before it.
    std::vector<size_t> offsets;
    for (size_t i = 0; i + sizeof(kStartCode) <= size; ++i) {
        if (std::memcmp(bytes + i, kStartCode, sizeof(kStartCode)) == 0)
            offsets.push_back(i);
    }
    offsets.push_back(size);

    NalUnitSet found;
    for (size_t i = 0; i + 1 < offsets.size(); ++i) {
        const uint8_t* unit = bytes + offsets[i];
        const size_t length = offsets[i + 1] - offsets[i];
        auto copy = std::make_shared<std::vector<uint8_t>>(unit, unit + length);
        if (startsWith(unit, length, kSpsPrefix))
            found.sps = std::move(copy);
        else if (startsWith(unit, length, kPpsPrefix))
            found.pps = std::move(copy);
        else if (startsWith(unit, length, kSeiPrefix))
            found.sei = std::move(copy);
        else if (startsWith(unit, length, kIdrPrefix))
            found.idr = std::move(copy);
    }
    if (!found.sps || !found.pps || !found.idr)
        return NalUnitSet{};
    found.isKeyFrame = true;
    return found;
}

bool isKeyFrameUnit(const std::string& accessUnit) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(accessUnit.data());
    const size_t size = accessUnit.size();
    if (!startsWith(bytes, size, kSpsPrefix))
        return false;
    bool pps = false;
    bool idr = false;
    const uint8_t* end = bytes + size;
    const uint8_t* at = bytes + 1;
    while (!(pps && idr)) {
        at = static_cast<const uint8_t*>(std::memchr(at, 0x01, static_cast<size_t>(end - at)));
        if (!at)
            break;
        // A start code ends at this byte when three zeros precede it and a
        // header byte follows.
        if (at - bytes >= 3 && at + 1 < end && at[-1] == 0 && at[-2] == 0 && at[-3] == 0) {
            pps = pps || at[1] == kPpsPrefix[4];
            idr = idr || at[1] == kIdrPrefix[4];
        }
        ++at;
    }
    return pps && idr;
}

std::string hexPrefix(const uint8_t* data, size_t length, const std::string& separator) {
    std::string text;
    const size_t shown = std::min<size_t>(length, 20);
    for (size_t i = 0; i < shown; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02X", data[i]);
        if (i > 0)
            text += separator;
        text += pair;
    }
    return text;
}

namespace {

std::string unitText(const NalBuffer& unit) {
    if (!unit)
        return "nullptr";
    return hexPrefix(unit->data(), unit->size(), " ");
}

} // namespace

std::string describe(const NalUnitSet& units) {
    std::string text = "isKeyFrame = ";
    text += units.isKeyFrame ? '1' : '0';
    text += "\nSPS = " + unitText(units.sps);
    text += "\nPPS = " + unitText(units.pps);
    text += "\nSEI = " + unitText(units.sei);
    text += "\nIDR = " + unitText(units.idr);
    return text;
}
