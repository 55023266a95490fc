// Text form of GUIDs, as the registry stores class identifiers.
#include <cstdio>
#include <cstring>

#include "platform/com.h"

std::string StringFromGUID(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool GUIDFromString(const std::string& text, GUID* out) {
    if (!out || text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    static const int groups[] = {8, 4, 4, 4, 12};
    size_t pos = 1;
    uint8_t bytes[16];
    int byteIndex = 0;
    for (int g = 0; g < 5; ++g) {
        for (int i = 0; i < groups[g]; i += 2) {
            unsigned value = 0;
            for (int k = 0; k < 2; ++k) {
                char c = text[pos++];
                unsigned digit;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                else
                    return false;
                value = value * 16 + digit;
            }
            bytes[byteIndex++] = static_cast<uint8_t>(value);
        }
        if (g < 4 && text[pos++] != '-') return false;
    }
    out->Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) |
                 (uint32_t(bytes[2]) << 8) | bytes[3];
    out->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(out->Data4, bytes + 8, 8);
    return true;
}
