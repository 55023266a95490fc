// Helpers of the XML datapacket tests: reading everything a packet holds as
// a list of printable events, and checking a document with xmllint.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine_loader.h"

namespace xmltest {

using Bytes = std::vector<uint8_t>;
using enginetest::Engine;
using enginetest::Packet;
using enginetest::Ref;

inline std::string Hex(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

// Everything a reader hands out, in order: columns ("C name type attributes"),
// parameters ("P name type value") and row items ("I status result length value").
struct Read {
    EngineResult failure = 0;
    uint32_t mode = 0;
    std::vector<std::string> events;
};

inline EngineResult ReadParameters(IDSPacketReader* r, Read* out) {
    for (int guard = 0; guard < 100000; ++guard) {
        uint32_t length = 0;
        EngineResult e = r->PeekParameterLength(&length);
        if (e == DSERR_EOF) {
            e = r->NextParameter(nullptr, nullptr, &length, nullptr);
            return e == DSERR_EOF ? 0 : (e ? e : 1);
        }
        if (e) return e;
        Bytes value(length + 1);
        char name[32] = {};
        uint32_t type = 0;
        if ((e = r->NextParameter(name, &type, &length, value.data()))) return e;
        char head[64];
        std::snprintf(head, sizeof head, " %08X ", type);
        out->events.push_back("P " + std::string(name) + head + Hex(value.data(), length));
    }
    return 1;
}

inline EngineResult ReadLevel(IDSPacketReader* r, Read* out, int depth) {
    for (int guard = 0; guard < 100000; ++guard) {
        PacketColumnDesc c;
        EngineResult e = r->NextColumn(&c);
        if (e == DSERR_EOF) return ReadParameters(r, out);
        if (e) return e;
        char head[64];
        std::snprintf(head, sizeof head, " %08X %04X", c.typeWord, c.attributes);
        out->events.push_back("C " + std::string(c.name) + head);
        if ((e = ReadParameters(r, out))) return e;
        if (((c.typeWord >> 16) & 0x3F) == PKT_TABLE && depth < 20) {
            if ((e = ReadLevel(r, out, depth + 1))) return e;
        }
    }
    return 1;
}

inline Read ReadAll(const Bytes& bytes) {
    Read out;
    Ref<IDSPacketReader> r(Engine::Get().NewReader());
    Packet packet(bytes);
    out.failure = r->OpenPacket(packet.get());
    if (out.failure) return out;
    out.mode = r->ReadXmlInput();
    out.failure = ReadLevel(r.get(), &out, 0);
    for (size_t guard = 0; !out.failure && guard <= bytes.size() * 4 + 16; ++guard) {
        uint32_t length = 0;
        EngineResult e = r->PeekValueLength(&length);
        if (e == DSERR_EOF) break;
        if (e) {
            out.failure = e;
            break;
        }
        Bytes value((length & 0x80000000u) ? 1 : length + 1);
        uint32_t status = 0;
        e = r->NextValue(&length, value.data(), &status);
        if (e != 0 && e != DSERR_FIELDISBLANK) {
            out.failure = e;
            break;
        }
        char head[64];
        std::snprintf(head, sizeof head, "I %u %u %u ", status, e, length);
        out.events.push_back(head + Hex(value.data(), (length & 0x80000000u) ? 0 : length));
    }
    return out;
}

inline std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// True when xmllint finds the document well-formed. Documents are code page
// 932 without saying so, which xmllint would take for UTF-8: iconv decodes
// them first.
inline bool WellFormed(const Bytes& doc, const std::string& name) {
    const std::string path = testing::TempDir() + "pelmora_xml_" + name + ".xml";
    const std::string decoded = path + ".utf8";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(doc.data()), static_cast<std::streamsize>(doc.size()));
    const std::string command = "iconv -f CP932 -t UTF-8 '" + path + "' 2>/dev/null > '" + decoded +
                                "' && xmllint --noout '" + decoded + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    std::remove(path.c_str());
    std::remove(decoded.c_str());
    return status == 0;
}

inline bool HaveXmllint() {
    return std::system("command -v xmllint >/dev/null 2>&1 && command -v iconv >/dev/null 2>&1") ==
           0;
}

}  // namespace xmltest
