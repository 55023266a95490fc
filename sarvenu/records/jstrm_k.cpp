// Width normalisation of code page 932 text: full-width ASCII-like
// characters to half-width, half-width katakana to full-width.
#include "records/jstrm_k.h"

#include <cstdint>

#include "platform/codepage.h"

namespace sarvenu {

namespace {

// The full-width signs that have an ASCII counterpart; letters and digits
// are ranges and handled apart.
struct TWideSign {
    uint16_t code;
    char ascii;
};
constexpr TWideSign kWideSigns[] = {
    {0x8140, ' '},  {0x8143, ','}, {0x8144, '.'}, {0x8146, ':'}, {0x8147, ';'},  {0x8148, '?'},
    {0x8149, '!'},  {0x814F, '^'}, {0x815E, '/'}, {0x8162, '|'}, {0x8165, '\''}, {0x8166, '\''},
    {0x818C, '\''}, {0x8167, '"'}, {0x8168, '"'}, {0x818D, '"'}, {0x8169, '('},  {0x816A, ')'},
    {0x816D, '['},  {0x816E, ']'}, {0x816F, '{'}, {0x8170, '}'}, {0x817B, '+'},  {0x817C, '-'},
    {0x8181, '='},  {0x81AC, '='}, {0x8183, '<'}, {0x8184, '>'}, {0x818F, '\\'}, {0x8190, '$'},
    {0x8193, '%'},  {0x8194, '#'}, {0x8195, '&'}, {0x8196, '*'}, {0x8197, '@'},
};

// The ASCII form of a two-byte character, or 0 when it keeps its width.
char NarrowOf(uint16_t code) {
    if (code >= 0x824F && code <= 0x8258) return static_cast<char>('0' + (code - 0x824F));
    if (code >= 0x8260 && code <= 0x8279) return static_cast<char>('A' + (code - 0x8260));
    if (code >= 0x8281 && code <= 0x829A) return static_cast<char>('a' + (code - 0x8281));
    for (const TWideSign& sign : kWideSigns)
        if (sign.code == code) return sign.ascii;
    return 0;
}

// Full-width forms of the half-width characters 0xA1..0xDD, in code order.
// clang-format off
constexpr uint16_t kKana[] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145,          // ｡｢｣､･
    0x8392, 0x8340, 0x8342, 0x8344, 0x8346, 0x8348,  // ｦｧｨｩｪｫ
    0x8383, 0x8385, 0x8387, 0x8362, 0x815B,          // ｬｭｮｯｰ
    0x8341, 0x8343, 0x8345, 0x8347, 0x8349,          // ｱｲｳｴｵ
    0x834A, 0x834C, 0x834E, 0x8350, 0x8352,          // ｶｷｸｹｺ
    0x8354, 0x8356, 0x8358, 0x835A, 0x835C,          // ｻｼｽｾｿ
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367,          // ﾀﾁﾂﾃﾄ
    0x8369, 0x836A, 0x836B, 0x836C, 0x836D,          // ﾅﾆﾇﾈﾉ
    0x836E, 0x8371, 0x8374, 0x8377, 0x837A,          // ﾊﾋﾌﾍﾎ
    0x837D, 0x837E, 0x8380, 0x8381, 0x8382,          // ﾏﾐﾑﾒﾓ
    0x8384, 0x8386, 0x8388,                          // ﾔﾕﾖ
    0x8389, 0x838A, 0x838B, 0x838C, 0x838D,          // ﾗﾘﾙﾚﾛ
    0x838F, 0x8393,                                  // ﾜﾝ
};
// clang-format on
static_assert(sizeof kKana / sizeof kKana[0] == 0xDD - 0xA1 + 1);

// The full-width form of a half-width character with the voiced (or
// semi-voiced) mark, or 0 when code page 932 has none. In the full-width
// rows the voiced form follows the plain one, the semi-voiced form the voiced.
uint16_t MarkedKana(unsigned char byte, bool semiVoiced) {
    const uint16_t plain = kKana[byte - 0xA1];
    const bool kaToTo = byte >= 0xB6 && byte <= 0xC4;  // ｶ..ﾄ
    const bool haToHo = byte >= 0xCA && byte <= 0xCE;  // ﾊ..ﾎ
    if (semiVoiced) return haToHo ? static_cast<uint16_t>(plain + 2) : 0;
    if (byte == 0xB3) return 0x8394;  // ｳﾞ
    return kaToTo || haToHo ? static_cast<uint16_t>(plain + 1) : 0;
}

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

void AppendCode(std::string& out, uint16_t code) {
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
}

}  // namespace

std::string NormalizeWidth(const std::string& cp932) {
    std::string out;
    out.reserve(cp932.size() * 2);
    for (size_t pos = 0; pos < cp932.size();) {
        const auto byte = static_cast<unsigned char>(cp932[pos]);
        if (platform::IsDBCSLeadByte(byte) && pos + 1 < cp932.size()) {
            const auto trail = static_cast<unsigned char>(cp932[pos + 1]);
            const char narrow = NarrowOf(static_cast<uint16_t>(byte << 8 | trail));
            if (narrow)
                out += narrow;
            else
                out.append(cp932, pos, 2);
            pos += 2;
            continue;
        }
        if (byte >= 0xA1 && byte <= 0xDD) {
            const uint16_t plain = kKana[byte - 0xA1];
            const unsigned char next =
                pos + 1 < cp932.size() ? static_cast<unsigned char>(cp932[pos + 1]) : 0;
            if (next == kVoicedMark || next == kSemiVoicedMark) {
                // The mark joins the character where a combined form exists
                // and is dropped where none does.
                const uint16_t marked = MarkedKana(byte, next == kSemiVoicedMark);
                AppendCode(out, marked ? marked : plain);
                pos += 2;
            } else {
                AppendCode(out, plain);
                pos += 1;
            }
            continue;
        }
        out += cp932[pos];
        ++pos;
    }
    return out;
}

}  // namespace sarvenu
