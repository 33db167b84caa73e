#include <cstdio>
#include <mutex>
#include <random>

#include "platform/guid_source.h"

namespace shuttle {
namespace {

class RandomGuidSource final : public GuidSource {
public:
    std::u16string newGuid() override {
        uint8_t bytes[16];
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& byte : bytes) byte = static_cast<uint8_t>(engine_());
        }
        bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
        bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
        char text[39];
        std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                      bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
        return std::u16string(text, text + 38);
    }

private:
    std::mutex mutex_;
    std::mt19937_64 engine_{std::random_device{}()};
};

}  // namespace

GuidSource& systemGuidSource() {
    static RandomGuidSource source;
    return source;
}

}  // namespace shuttle
