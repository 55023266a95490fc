// Names of archive entries on their way to the file system. Extraction writes
// every entry under its bare name inside the target directory, so no stored
// name ("../x", "/etc/x", "C:\x", "dir\..\x") can reach outside it. Stored
// names are 8-bit; they are decoded before they are split, because the second
// byte of a double-byte character can be the byte of "\".
#pragma once

#include <string>
#include <string_view>

namespace archivers {

enum class NameCoding {
    kCp932,        // always code page 932 (LZH archives)
    kUtf8OrCp932,  // UTF-8 when the bytes are valid UTF-8, else code page 932
};

// The last component of a stored name after "/", "\" and any drive or stream
// prefix ("C:"), decoded to UTF-8; empty when nothing usable is left (an empty
// name, ".", ".." or a name that ends in a separator).
std::string BareEntryName(std::string_view stored, NameCoding coding);

// True when the bytes form valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Wildcard match with "*" (any run) and "?" (one byte); letters A-Z match
// without regard to case. "*.*" matches every name, with or without a dot.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace archivers
