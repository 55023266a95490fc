// Binds the engine for the table tool the way any caller does: loads the
// library beside the executable (or through the loader), takes
// DllGetClassObject and creates objects through their class objects.
#pragma once

#include <string>

#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"

namespace tabletool {

class Engine {
  public:
    // Loads the engine; false with a message in *error when it cannot.
    bool Load(std::string* error);
    IDSBase* NewDataset() const;
    IDSPacketReader* NewReader() const;
    // The engine's message for a result code ("" when it has none).
    std::string Message(uint32_t code) const;

  private:
    pelmora::EngineClient client_;
};

// Reads a whole file; false when it cannot be read.
bool ReadFile(const std::string& path, std::string* bytes);
// Writes a file atomically (temporary file, sync, rename); false on failure.
bool WriteFileAtomically(const std::string& path, const void* bytes, size_t size);

}  // namespace tabletool
