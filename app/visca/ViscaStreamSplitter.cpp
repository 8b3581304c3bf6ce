#include "app/visca/ViscaStreamSplitter.h"

std::vector<ViscaStreamItem> ViscaStreamSplitter::feed(const uint8_t* data, size_t size) {
    std::vector<ViscaStreamItem> items;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        const bool address = (byte & 0xF0) == 0x80;
        if (skipping_ && !address) {
            ++dropped_;
            if (byte == 0xFF)
                skipping_ = false;
            continue;
        }
        skipping_ = false;
        if (address && !buffer_.empty()) {
            items.push_back(ViscaStreamItem{std::move(buffer_), false});
            buffer_.clear();
        }
        buffer_.push_back(byte);
        if (byte == 0xFF) {
            items.push_back(ViscaStreamItem{std::move(buffer_), false});
            buffer_.clear();
        } else if (buffer_.size() >= visca::kMaxMessage) {
            // A 16th byte that is no terminator: no message is this long.
            dropped_ += buffer_.size();
            buffer_.clear();
            skipping_ = true;
            items.push_back(ViscaStreamItem{{}, true});
        }
    }
    return items;
}
