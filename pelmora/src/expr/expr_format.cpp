// Reading the canonical expression with every offset checked.
#include "expr/expr_format.h"

#include <cstring>

namespace pelmora {

uint32_t ExprOperandCount(uint32_t kind, uint32_t op) {
    const uint32_t extra = kind == EXPR_COMPARE ? 2 : 0;
    switch (op) {
        case OP_IS_BLANK:
        case OP_NOT_BLANK:
        case OP_NOT:
            return kind == EXPR_COMPARE ? 0 : 1;
        case OP_EQ:
        case OP_NE:
        case OP_GT:
        case OP_LT:
        case OP_GE:
        case OP_LE:
        case OP_AND:
        case OP_OR:
        case OP_ADD:
        case OP_SUB:
        case OP_MUL:
        case OP_DIV:
        case OP_LIKE:
        case OP_IN:
        case OP_ASSIGN:
            return 2 + extra;
        case OP_FIELD:
        case OP_FUNCTION:
        case OP_LIST_ITEM:
            return kind == EXPR_COMPARE ? 0 : 2;
        case OP_CONST:
            return kind == EXPR_COMPARE ? 0 : 3;
        case OP_LIST:
            return kind == EXPR_COMPARE ? 0 : 5;
        default:
            return 0;
    }
}

EngineResult ExprReader::Open(const uint8_t* bytes, size_t length) {
    bytes_ = bytes;
    length_ = bytes == nullptr ? 0 : length;
    nodes_ = literals_ = 0;
    if (length_ == 0) return DS_OK;
    if (length_ < kExprHeaderSize) return DSERR_INVALIDPARAM;
    nodes_ = ReadLe16(bytes_ + kExprNodeOffsetAt);
    literals_ = ReadLe16(bytes_ + kExprLiteralOffsetAt);
    if (nodes_ >= length_ || literals_ > length_) return DSERR_INVALIDPARAM;
    return DS_OK;
}

EngineResult ExprReader::Node(uint16_t offset, ExprNode& out) const {
    const size_t at = nodes_ + offset;
    if (length_ == 0 || at + kExprNodeHeadSize > length_) return DSERR_INVALIDPARAM;
    out = ExprNode{};
    out.at = offset;
    out.kind = ReadLe32(bytes_ + at);
    out.op = ReadLe32(bytes_ + at + 4);
    out.count = ExprOperandCount(out.kind, out.op);
    if (out.count == 0) return DSERR_TYPEMISMATCH;
    if (at + kExprNodeHeadSize + 2 * size_t{out.count} > length_) return DSERR_INVALIDPARAM;
    for (uint32_t i = 0; i < out.count; ++i) {
        out.operand[i] = ReadLe16(bytes_ + at + kExprNodeHeadSize + 2 * i);
    }
    return DS_OK;
}

EngineResult ExprReader::Text(uint16_t offset, std::string_view& out) const {
    const size_t at = literals_ + offset;
    if (length_ == 0 || at >= length_) return DSERR_INVALIDPARAM;
    const void* nul = std::memchr(bytes_ + at, 0, length_ - at);
    if (nul == nullptr) return DSERR_INVALIDPARAM;
    out = std::string_view(reinterpret_cast<const char*>(bytes_ + at),
                           static_cast<const uint8_t*>(nul) - (bytes_ + at));
    return DS_OK;
}

EngineResult ExprReader::Bytes(uint16_t offset, uint32_t size, const uint8_t*& out) const {
    const size_t at = literals_ + offset;
    if (length_ == 0 || at > length_ || size > length_ - at) return DSERR_INVALIDPARAM;
    out = bytes_ + at;
    return DS_OK;
}

}  // namespace pelmora
