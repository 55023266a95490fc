// The canonical expression: the compact binary tree in which callers hand
// filters, constraints, default values and aggregates to the engine. A
// 10-byte header names a node area and a literal area; every node is a kind,
// an operator and 16-bit operands that point at other nodes (offsets into the
// node area) or at literals (offsets into the literal area). The reader
// checks every offset, size and count against the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pelmora/expression_format.h"
#include "pelmora/pelmora.h"

namespace pelmora {

constexpr uint32_t kExprMaxOperands = 5;

// One node as read from the node area.
struct ExprNode {
    uint16_t at = 0;  // offset within the node area
    uint32_t kind = 0;
    uint32_t op = 0;
    uint32_t count = 0;  // operands read
    uint16_t operand[kExprMaxOperands] = {};
};

// Number of operands a node carries, or 0 for an operator that is not
// accepted. The kind only matters for EXPR_COMPARE (two more operands).
uint32_t ExprOperandCount(uint32_t kind, uint32_t op);

// True for the operators that compare two values (OP_EQ .. OP_LE).
inline bool IsComparison(uint32_t op) {
    return op >= OP_EQ && op <= OP_LE;
}

// Bounds-checked access to one canonical expression. The bytes are not
// copied: they must outlive the reader.
class ExprReader {
  public:
    // Reads the header. Zero bytes are an empty expression (no root); fewer
    // than a header, or area offsets past the end, give 9986.
    EngineResult Open(const uint8_t* bytes, size_t length);

    bool empty() const { return length_ == 0; }

    // Reads the node at an offset of the node area: 9986 when any of its
    // bytes lie outside the expression, 11871 for an unknown operator.
    EngineResult Node(uint16_t offset, ExprNode& out) const;

    // A NUL-terminated text at a literal offset; 9986 when the literal area
    // ends before the NUL.
    EngineResult Text(uint16_t offset, std::string_view& out) const;

    // `size` bytes at a literal offset; 9986 when they do not all lie inside
    // the expression.
    EngineResult Bytes(uint16_t offset, uint32_t size, const uint8_t*& out) const;

  private:
    const uint8_t* bytes_ = nullptr;
    size_t length_ = 0;
    size_t nodes_ = 0;     // start of the node area
    size_t literals_ = 0;  // start of the literal area
};

// Little-endian reads of unaligned integers.
inline uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace pelmora
