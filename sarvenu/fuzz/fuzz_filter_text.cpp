// Fuzz target: arbitrary bytes as a table's filter text, translated into the
// engine's canonical expression for a table with fields of several kinds,
// with case-sensitive and case-insensitive comparison. A translation either
// fails with the layer's EDatabaseError or yields an expression whose header,
// nodes and literals are laid out consistently; any other exception escapes
// and ends the run.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/client_table.h"
#include "dataset/filter_expression.h"
#include "pelmora/pelmora.h"

#include "fuzz_support.h"

namespace {

using namespace fuzz_support;

using namespace sarvenu;
using filterexpr::FieldInfo;

// Short names, so that random bytes find them now and then; one of each kind
// the translation treats differently, including some it refuses.
const std::vector<FieldInfo>& Fields() {
    static const std::vector<FieldInfo> fields = {
        {"CD", ftInteger, FLD_INT32, 1},      {"NAME", ftString, FLD_STRING, 2},
        {"S", ftSmallint, FLD_INT16, 3},      {"W", ftWord, FLD_UINT16, 4},
        {"F", ftFloat, FLD_FLOAT, 5},         {"B", ftBoolean, FLD_BOOL16, 6},
        {"U", ftInteger, FLD_UINT32, 7},      {"D", ftDate, FLD_DATE, 8},
        {"TS", ftDateTime, FLD_TIMESTAMP, 9}, {"WS", ftWideString, FLD_UNICODE, 10},
        {"M", ftMemo, FLD_BLOB, 11},          {"X", ftString, FLD_STRING, 12},
    };
    return fields;
}

// Finds a field as the table does: by name without regard to ASCII case.
const FieldInfo* Lookup(const std::string& name) {
    for (const FieldInfo& info : Fields()) {
        if (info.name.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(info.name[i])) ==
                   std::tolower(static_cast<unsigned char>(name[i]));
        if (same) return &info;
    }
    return nullptr;
}

// Checks a translated expression: header, then the nodes in pre-order with
// each child directly after the subtree before it, then the literals in the
// same order, each within the literal area.
class Checker {
  public:
    Checker(const std::vector<uint8_t>& bytes, bool caseInsensitive)
        : b_(bytes), caseInsensitive_(caseInsensitive) {}

    void Run() {
        Require(b_.size() >= kHeader && b_.size() <= 0xFFFF);
        Require(U16(0) == 2);
        Require(U16(2) == b_.size());
        Require(U16(4) == 0xFFFF);
        Require(U16(6) == kHeader);
        literalArea_ = U16(8);
        Require(literalArea_ >= kHeader && literalArea_ <= b_.size());
        nextNode_ = kHeader;
        nextLiteral_ = literalArea_;
        Node(kHeader);
        Require(nextNode_ == literalArea_);
        Require(nextLiteral_ == b_.size());
    }

  private:
    static constexpr size_t kHeader = 10;

    size_t U16(size_t at) const {
        Require(at + 2 <= b_.size());
        return b_[at] | (b_[at + 1] << 8);
    }
    uint32_t U32(size_t at) const {
        Require(at + 4 <= b_.size());
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b_[at + i]) << (8 * i);
        return v;
    }

    // The literal of the node at `at`: it must start where the previous one ended.
    size_t Literal(size_t offsetWord, size_t length) {
        const size_t start = literalArea_ + U16(offsetWord);
        Require(start == nextLiteral_);
        Require(start + length <= b_.size());
        nextLiteral_ = start + length;
        return start;
    }

    void Children(size_t at, int count) {
        for (int i = 0; i < count; ++i) {
            const size_t child = kHeader + U16(at + 2 * i);
            Require(child == nextNode_);
            Node(child);
        }
    }

    void Node(size_t at) {
        Require(at + 8 <= literalArea_);
        const uint32_t kind = U32(at), op = U32(at + 4);
        const size_t words = at + 8;
        const bool comparison = op >= OP_EQ && op <= OP_LE;
        switch (kind) {
            case EXPR_UNARY:
                Require(op == OP_IS_BLANK || op == OP_NOT_BLANK || op == OP_NOT);
                nextNode_ = words + 2;
                Children(words, 1);
                break;
            case EXPR_BINARY:
                Require(comparison || op == OP_AND || op == OP_OR);
                nextNode_ = words + 4;
                Children(words, 2);
                break;
            case EXPR_COMPARE:
                Require(comparison);
                Require(U16(words) == (caseInsensitive_ ? 1u : 0u));
                nextNode_ = words + 8;
                Children(words + 4, 2);
                break;
            case EXPR_FIELD: {
                Require(op == OP_FIELD);
                const size_t fieldNo = U16(words);
                Require(fieldNo >= 1 && fieldNo <= Fields().size());
                const std::string& name = Fields()[fieldNo - 1].name;
                const size_t start = Literal(words + 2, name.size() + 1);
                Require(std::memcmp(&b_[start], name.c_str(), name.size() + 1) == 0);
                nextNode_ = words + 4;
                break;
            }
            case EXPR_CONST: {
                Require(op == OP_CONST);
                const size_t type = U16(words), length = U16(words + 2);
                const size_t start = Literal(words + 4, length);
                ConstantShape(type, length, start);
                nextNode_ = words + 6;
                break;
            }
            default:
                Require(false);
        }
    }

    void ConstantShape(size_t type, size_t length, size_t start) const {
        switch (type) {
            case FLD_INT16:
            case FLD_UINT16:
                Require(length == 2);
                break;
            case FLD_BOOL16:
                Require(length == 2 && b_[start + 1] == 0 && b_[start] <= 1);
                break;
            case FLD_INT32:
            case FLD_UINT32:
            case FLD_DATE:
                Require(length == 4);
                break;
            case FLD_FLOAT:
            case FLD_TIMESTAMP:
                Require(length == 8);
                break;
            case FLD_STRING:
                // At most 255 characters of up to two bytes, and the zero.
                Require(length >= 1 && length <= 2 * 255 + 1 && b_[start + length - 1] == 0);
                break;
            case FLD_UNICODE:
                Require(length >= 2 && length % 2 == 0);
                break;
            default:
                Require(false);
        }
    }

    const std::vector<uint8_t>& b_;
    const bool caseInsensitive_;
    size_t literalArea_ = 0, nextNode_ = 0, nextLiteral_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (bool caseInsensitive : {false, true}) {
        try {
            const std::vector<uint8_t> expression =
                filterexpr::Translate(text, Lookup, caseInsensitive);
            Checker(expression, caseInsensitive).Run();
        } catch (const EDatabaseError& error) {
            // Every refusal carries a message for the user.
            Require(error.what()[0] != '\0');
        }
    }
    return 0;
}
