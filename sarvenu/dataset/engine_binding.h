// Binding to the dataset engine library: found through the registry entry of
// the dataset class, else loaded by its file name after letting it register
// itself. Done once per process under a lock; engine objects are then made
// through the class objects, never by linking the engine.
#pragma once

#include <string>

#include "pelmora/engine_client.h"
#include "pelmora/pelmora.h"

namespace sarvenu::engine {

using EngineLibrary = pelmora::EngineClient;

// Registry key holding the engine's path as its default value.
std::string EngineRegistryKey();
// Loads the library as the binding does, without caching; raises
// EDatabaseError "PELMORA.DLL の読み込みエラー" when it cannot be loaded or lacks
// DllGetClassObject.
EngineLibrary LoadEngineLibrary();
// The process-wide binding, made on first use.
const EngineLibrary& BoundEngine();

// Creates a dataset or cursor through its class object (the caller owns the
// reference); raises on failure.
IDSBase* CreateDataset();
IDSCursor* CreateCursor();

}  // namespace sarvenu::engine
