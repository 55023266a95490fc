// Builds canonical expressions from a tree, for tests and tools. Nodes are
// made children first and refer to each other by id; Build() lays the root
// out at offset 0 of the node area, the other nodes after it, and the
// literals (names, constant values) in the literal area.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pelmora/expression_format.h"

namespace pelmora::exprbuild {

// Value types (internal field types).
enum : uint16_t {
    tString = 1,
    tDate = 2,
    tBool = 4,
    tInt16 = 5,
    tInt32 = 6,
    tFloat = 7,
    tBcd = 8,
    tBytes = 9,
    tTime = 10,
    tTimestamp = 11,
    tUnicode = 0x1007,
};

class ExprBuilder {
  public:
    using Node = int;  // node id; kNone for "no node"
    static constexpr Node kNone = -1;

    Node Field(const std::string& name, uint16_t number = 0) {
        return Add(EXPR_FIELD, OP_FIELD, {Raw(number), Lit(Text(name))});
    }

    Node Const(uint16_t type, const void* bytes, uint16_t size) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        return Add(EXPR_CONST, OP_CONST, {Raw(type), Raw(size), Lit(Bytes(p, p + size))});
    }
    Node String(const std::string& s) {
        return Const(tString, s.data(), static_cast<uint16_t>(s.size()));
    }
    Node Int16(int16_t v) { return Const(tInt16, &v, 2); }
    Node Int32(int32_t v) { return Const(tInt32, &v, 4); }
    Node Float(double v) { return Const(tFloat, &v, 8); }
    Node Bool(bool v) {
        const int16_t b = v ? 1 : 0;
        return Const(tBool, &b, 2);
    }
    Node Date(int32_t day) { return Const(tDate, &day, 4); }
    Node Time(int32_t ms) { return Const(tTime, &ms, 4); }
    Node Timestamp(double ms) { return Const(tTimestamp, &ms, 8); }
    Node Raw(const std::vector<uint8_t>& bytes, uint16_t type) {
        return Const(type, bytes.data(), static_cast<uint16_t>(bytes.size()));
    }
    // A Unicode constant in record form: byte count, then UTF-16LE text.
    Node Unicode(const std::u16string& s) {
        std::vector<uint8_t> v(2 + 2 * s.size());
        const uint16_t n = static_cast<uint16_t>(2 * s.size());
        std::memcpy(v.data(), &n, 2);
        if (!s.empty()) std::memcpy(v.data() + 2, s.data(), n);
        return Raw(v, tUnicode);
    }

    Node Unary(uint32_t op, Node a) { return Add(EXPR_UNARY, op, {Ref(a)}); }
    Node Binary(uint32_t op, Node a, Node b) { return Add(EXPR_BINARY, op, {Ref(a), Ref(b)}); }
    // A comparison node with the case-insensitive flag and partial length.
    Node Compare(uint32_t op, bool ignoreCase, uint16_t partial, Node a, Node b) {
        return Add(EXPR_COMPARE, op, {Raw(ignoreCase ? 1 : 0), Raw(partial), Ref(a), Ref(b)});
    }

    // An OP_LIST_ITEM chain over the values; returns its first item (kNone
    // for no values).
    Node List(const std::vector<Node>& values) {
        Node next = kNone;
        for (auto it = values.rbegin(); it != values.rend(); ++it) {
            next = Add(EXPR_LIST_ITEM, OP_LIST_ITEM, {Ref(*it), Ref(next)});
        }
        return next;
    }
    Node In(Node left, const std::vector<Node>& values) {
        return Binary(OP_IN, left, List(values));
    }

    // An array constant of fixed-width elements.
    Node Array(uint16_t type, uint16_t width, const std::vector<uint8_t>& elements) {
        const uint16_t count = static_cast<uint16_t>(width == 0 ? 0 : elements.size() / width);
        return Add(0, OP_LIST,
                   {Raw(type), Raw(static_cast<uint16_t>(elements.size())), Raw(count), Raw(width),
                    Lit(elements)});
    }
    // An array constant of strings (each NUL-terminated, back to back).
    Node StringArray(const std::vector<std::string>& values) {
        std::vector<uint8_t> bytes;
        for (const std::string& s : values) {
            bytes.insert(bytes.end(), s.begin(), s.end());
            bytes.push_back(0);
        }
        return Add(0, OP_LIST,
                   {Raw(tString), Raw(static_cast<uint16_t>(bytes.size())),
                    Raw(static_cast<uint16_t>(values.size())), Raw(0), Lit(bytes)});
    }

    Node Function(const std::string& name, const std::vector<Node>& args) {
        return Add(EXPR_FUNCTION, OP_FUNCTION, {Lit(Text(name)), Ref(List(args))});
    }

    // Any node, for malformed input: operands are raw 16-bit values.
    Node RawNode(uint32_t kind, uint32_t op, const std::vector<uint16_t>& operands) {
        std::vector<Operand> ops;
        for (uint16_t v : operands) ops.push_back(Raw(v));
        return Add(kind, op, ops);
    }

    // The canonical bytes with `root` at offset 0 of the node area.
    std::vector<uint8_t> Build(Node root) const {
        std::vector<int> order{root};
        for (int i = 0; i < static_cast<int>(nodes_.size()); ++i) {
            if (i != root) order.push_back(i);
        }
        std::vector<uint16_t> nodeAt(nodes_.size(), 0);
        size_t nodeBytes = 0;
        for (int id : order) {
            nodeAt[static_cast<size_t>(id)] = static_cast<uint16_t>(nodeBytes);
            nodeBytes += 8 + 2 * nodes_[static_cast<size_t>(id)].operands.size();
        }
        std::vector<uint16_t> litAt(literals_.size(), 0);
        size_t litBytes = 0;
        for (size_t i = 0; i < literals_.size(); ++i) {
            litAt[i] = static_cast<uint16_t>(litBytes);
            litBytes += literals_[i].size();
        }
        const size_t nodeStart = 10;
        const size_t litStart = nodeStart + nodeBytes;
        std::vector<uint8_t> out(litStart + litBytes, 0);
        Put16(out, 0, 2);
        Put16(out, 2, static_cast<uint16_t>(out.size()));
        Put16(out, 4, 0xFFFF);
        Put16(out, 6, static_cast<uint16_t>(nodeStart));
        Put16(out, 8, static_cast<uint16_t>(litStart));
        for (int id : order) {
            const NodeData& n = nodes_[static_cast<size_t>(id)];
            size_t at = nodeStart + nodeAt[static_cast<size_t>(id)];
            Put32(out, at, n.kind);
            Put32(out, at + 4, n.op);
            at += 8;
            for (const Operand& o : n.operands) {
                uint16_t v = o.value;
                if (o.what == Operand::kNode) {
                    v = o.value < 0 ? 0 : nodeAt[static_cast<size_t>(o.value)];
                } else if (o.what == Operand::kLiteral) {
                    v = litAt[static_cast<size_t>(o.value)];
                }
                Put16(out, at, v);
                at += 2;
            }
        }
        size_t at = litStart;
        for (const std::vector<uint8_t>& l : literals_) {
            std::copy(l.begin(), l.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
            at += l.size();
        }
        return out;
    }

  private:
    struct Operand {
        enum What { kRaw, kNode, kLiteral } what;
        int value;
    };
    struct NodeData {
        uint32_t kind;
        uint32_t op;
        std::vector<Operand> operands;
    };

    static Operand Raw(uint16_t v) { return {Operand::kRaw, v}; }
    static Operand Ref(Node n) { return {Operand::kNode, n}; }
    Operand Lit(const std::vector<uint8_t>& bytes) {
        literals_.push_back(bytes);
        return {Operand::kLiteral, static_cast<int>(literals_.size() - 1)};
    }
    static std::vector<uint8_t> Text(const std::string& s) {
        std::vector<uint8_t> v(s.begin(), s.end());
        v.push_back(0);
        return v;
    }
    static std::vector<uint8_t> Bytes(const uint8_t* a, const uint8_t* b) { return {a, b}; }

    Node Add(uint32_t kind, uint32_t op, std::vector<Operand> operands) {
        nodes_.push_back({kind, op, std::move(operands)});
        return static_cast<Node>(nodes_.size() - 1);
    }

    static void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
        out[at] = static_cast<uint8_t>(v);
        out[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    static void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

    std::vector<NodeData> nodes_;
    std::vector<std::vector<uint8_t>> literals_;
};

}  // namespace pelmora::exprbuild
