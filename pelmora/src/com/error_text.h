// The engine's result-code messages, in an English and a Japanese table. The
// language follows the calling process's message locale (LC_ALL,
// LC_MESSAGES, LANG): Japanese when it starts with "ja", else English.
// Japanese texts are handed out in code page 932 like every 8-bit text.
#pragma once

#include <cstdint>

#include "pelmora/pelmora.h"

namespace pelmora {

enum class MessageLanguage { English, Japanese };

// The language chosen from the environment.
MessageLanguage CurrentMessageLanguage();

// The message for a code in the given language, UTF-8; null when it has none.
const char* MessageFor(uint32_t code, MessageLanguage language);

// Copies the message into buffer (at least 128 bytes): NUL-terminated, cut to
// 126 bytes without splitting a double-byte character. Returns 0, or 8712 with
// an empty buffer when the code has no message. A null buffer copies nothing.
EngineResult ErrorText(uint32_t code, char* buffer);

}  // namespace pelmora
