// A small text-file registry standing in for the system registry's classes
// root. Its file is named by SARVENU_REGISTRY, else it lives under the user's
// configuration directory. Keys are paths with "\" separators, compared
// without regard to ASCII case; every key holds named string values, the
// default value having the empty name.
#pragma once

#include <string>

namespace platform {

// The registry file in use: $SARVENU_REGISTRY, else
// $XDG_CONFIG_HOME/sarvenu/registry.reg (XDG_CONFIG_HOME defaulting to ~/.config).
std::string RegistryPath();

// Sets a string value, creating the key and its parents. False when the file
// cannot be written (the file then stays as it was).
bool RegSetString(const std::string& key, const std::string& valueName, const std::string& value);
// Reads a string value; false when the key or value is missing.
bool RegGetString(const std::string& key, const std::string& valueName, std::string* value);
// Deletes a key that has no subkeys; true also when it did not exist. False when
// the key still has subkeys or the file cannot be written.
bool RegDeleteKey(const std::string& key);
// True when the key exists.
bool RegKeyExists(const std::string& key);

}  // namespace platform
