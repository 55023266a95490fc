// The canonical expression format: the compact binary tree in which callers
// hand filters, constraints, default values and aggregates to the engine.
// Node kinds, operators and the header layout are fixed by the wire format;
// callers building expressions and the engine reading them share these.
#pragma once

#include <cstddef>
#include <cstdint>

// Node kinds. Only EXPR_COMPARE changes how a node is read: it carries a
// case-insensitive flag and a partial length before its two operand nodes.
enum : uint32_t {
    EXPR_UNARY = 1,
    EXPR_BINARY = 2,
    EXPR_COMPARE = 3,
    EXPR_FIELD = 4,
    EXPR_CONST = 5,
    EXPR_FUNCTION = 10,
    EXPR_LIST_ITEM = 11,
};

// Operators.
enum : uint32_t {
    OP_IS_BLANK = 1,
    OP_NOT_BLANK = 2,
    OP_EQ = 3,
    OP_NE = 4,
    OP_GT = 5,
    OP_LT = 6,
    OP_GE = 7,
    OP_LE = 8,
    OP_NOT = 9,
    OP_AND = 10,
    OP_OR = 11,
    OP_FIELD = 13,
    OP_CONST = 14,
    OP_ADD = 16,
    OP_SUB = 17,
    OP_MUL = 18,
    OP_DIV = 19,
    OP_LIKE = 30,
    OP_IN = 31,
    OP_LIST = 32,
    OP_FUNCTION = 35,
    OP_LIST_ITEM = 36,
    OP_ASSIGN = 37,
};

// Header layout: version, total size, node area offset, literal area offset.
constexpr size_t kExprHeaderSize = 10;
constexpr uint16_t kExprVersion = 2;
constexpr size_t kExprNodeOffsetAt = 6;
constexpr size_t kExprLiteralOffsetAt = 8;
// Node kind and operator (four bytes each) precede the 16-bit operands.
constexpr size_t kExprNodeHeadSize = 8;
