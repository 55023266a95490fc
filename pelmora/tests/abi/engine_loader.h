// Test harness: reaches the engine the way an outside caller does, through
// the shared engine client (the library loaded at run time, its exported
// entry points, the class objects). The names here are the ones the engine
// tests have always used, kept over the shared client.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"

namespace enginetest {

using pelmora::Ref;
using pelmora::TakeBytes;

// The engine library built with the tests, loaded once for the executable.
class Engine : public pelmora::EngineClient {
  public:
    static Engine& Get() {
        static Engine engine;
        return engine;
    }

    void* handle = nullptr;  // the loaded library

  private:
    Engine() {
        if (!Load(PELMORA_LIBRARY_PATH))
            ADD_FAILURE() << "cannot load engine: " << platform::LastLibraryError();
        handle = Module();
    }
};

// A byte array owned by the test, destroyed at scope end.
class Packet : public pelmora::ByteArray {
  public:
    explicit Packet(const std::vector<uint8_t>& bytes) : ByteArray(bytes.data(), bytes.size()) {}
};

inline PacketColumnDesc Column(const char* name, uint32_t typeWord, uint16_t attributes = 0) {
    PacketColumnDesc c{};
    std::strncpy(c.name, name, sizeof(c.name) - 1);
    c.typeWord = typeWord;
    c.attributes = attributes;
    return c;
}

}  // namespace enginetest
