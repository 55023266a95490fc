// Class objects: one per kind of engine object (dataset, cursor, packet
// reader, packet writer). A class object is reference-counted, does not count
// as an engine object, and creates instances of its kind on request.
#pragma once

#include "pelmora/pelmora.h"

namespace pelmora {

// A new class object (count 0) for the class identifier, or null when the
// identifier is unknown (*unknown set) or memory is short (*unknown clear).
IClassFactory* NewClassObject(const GUID& clsid, bool* unknown);

// Increments or decrements the library's lock count, never below 0.
void ChangeServerLock(bool lock);

}  // namespace pelmora
