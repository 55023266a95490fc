// Run-time library loading. A Windows library name maps to
// lib<lower-case stem>.so ("PELMORA.DLL" -> libpelmora.so), looked up beside
// the running executable first, then by the dynamic loader.
#pragma once

#include <string>

namespace platform {

using HMODULE = void*;

// "PELMORA.DLL" -> "libpelmora.so"; a name already ending in ".so" or holding a
// path separator is returned unchanged.
std::string MapLibraryName(const std::string& name);
// Directory of the running executable, ending in '/'.
std::string ExecutableDirectory();
HMODULE LoadLibraryA(const std::string& name);
void* GetProcAddress(HMODULE module, const char* symbol);
void FreeLibrary(HMODULE module);
// Text of the last loading failure.
std::string LastLibraryError();
// Full path of the loaded module that contains the given address; empty when unknown.
std::string ModulePathOfAddress(const void* address);

}  // namespace platform
