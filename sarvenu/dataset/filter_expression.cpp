#include "dataset/filter_expression.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "dataset/dataset_messages.h"
#include "dataset/value_codec.h"
#include "pelmora/pelmora.h"
#include "platform/codepage.h"

namespace sarvenu::filterexpr {
namespace {

constexpr size_t kMaxStringChars = 255;
// The parser, the translation and the layout recurse over the text's
// structure, so a text may nest parentheses and "not" only this deep and have
// only this many syntax nodes. No text with more nodes could be translated
// anyway: each canonical node takes at least 10 of the expression's 65535
// bytes, and at most every other syntax node (a NULL beside its comparison)
// has no canonical node of its own.
constexpr size_t kMaxNesting = 1000;
constexpr size_t kMaxSyntaxNodes = 2 * (0xFFFF / 10);

[[noreturn]] void Fail(std::string_view message,
                       std::initializer_list<std::string_view> args = {}) {
    throw EDatabaseError(dsmsg::Format(message, args));
}

// ---------------------------------------------------------------------------
// Tokens.
enum class Tok { End, Ident, Number, String, Compare, LParen, RParen, Minus };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // identifier, number, string value or comparison operator
    bool bracketed = false;
};

bool IsIdentStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsIdentPart(unsigned char c) {
    return IsIdentStart(c) || std::isdigit(c);
}

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '(' || c == ')') {
            out.push_back(
                {c == '(' ? Tok::LParen : Tok::RParen, std::string(1, static_cast<char>(c))});
            ++i;
        } else if (c == '=' || c == '<' || c == '>') {
            std::string op(1, static_cast<char>(c));
            if (c != '=' && i + 1 < s.size() && (s[i + 1] == '=' || (c == '<' && s[i + 1] == '>')))
                op += s[++i];
            out.push_back({Tok::Compare, op});
            ++i;
        } else if (c == '\'' || c == '"') {
            std::string value;
            size_t j = i + 1;
            while (true) {
                if (j >= s.size()) Fail(dsmsg::kFilterUnterminated);
                if (s[j] == static_cast<char>(c)) {
                    if (j + 1 < s.size() && s[j + 1] == static_cast<char>(c)) {
                        value += s[j];
                        j += 2;
                        continue;
                    }
                    break;
                }
                // A double-byte character is copied whole: its second byte may
                // look like a quote in ASCII.
                if (platform::IsDBCSLeadByte(static_cast<unsigned char>(s[j])) &&
                    j + 1 < s.size()) {
                    value += s.substr(j, 2);
                    j += 2;
                    continue;
                }
                value += s[j++];
            }
            out.push_back({Tok::String, value});
            i = j + 1;
        } else if (c == '[') {
            // The second byte of a double-byte character may look like ']'.
            size_t close = i + 1;
            while (close < s.size() && s[close] != ']')
                close += platform::IsDBCSLeadByte(static_cast<unsigned char>(s[close])) ? 2 : 1;
            if (close >= s.size()) Fail(dsmsg::kFilterUnterminated);
            out.push_back({Tok::Ident, s.substr(i + 1, close - i - 1), true});
            i = close + 1;
        } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() &&
                                       std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            size_t j = i;
            while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.'))
                ++j;
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                size_t k = j + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                    j = k;
                    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
                }
            }
            out.push_back({Tok::Number, s.substr(i, j - i)});
            i = j;
        } else if (c == '-' && i + 1 < s.size() &&
                   (std::isdigit(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '.')) {
            out.push_back({Tok::Minus, "-"});
            ++i;
        } else if (IsIdentStart(c)) {
            size_t j = i;
            while (j < s.size()) {
                unsigned char d = static_cast<unsigned char>(s[j]);
                if (platform::IsDBCSLeadByte(d) && j + 1 < s.size()) {
                    j += 2;
                } else if (IsIdentPart(d)) {
                    ++j;
                } else {
                    break;
                }
            }
            out.push_back({Tok::Ident, s.substr(i, j - i)});
            i = j;
        } else {
            Fail(dsmsg::kFilterBadChar, {std::string(1, static_cast<char>(c))});
        }
    }
    out.push_back({Tok::End, {}});
    return out;
}

// ---------------------------------------------------------------------------
// Syntax tree of the filter text.
struct Ast {
    enum Kind { Field, Number, String, Null, Bool, Not, Logic, Compare } kind;
    std::string text;
    bool value = false;
    uint32_t op = 0;
    std::unique_ptr<Ast> left, right;
};
using AstPtr = std::unique_ptr<Ast>;

bool KeywordIs(const Token& t, const char* word) {
    if (t.kind != Tok::Ident || t.bracketed || t.text.size() != std::strlen(word)) return false;
    for (size_t i = 0; i < t.text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
    return true;
}

uint32_t CompareOp(const std::string& op) {
    if (op == "=") return OP_EQ;
    if (op == "<>") return OP_NE;
    if (op == "<") return OP_LT;
    if (op == ">") return OP_GT;
    if (op == "<=") return OP_LE;
    return OP_GE;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    AstPtr ParseAll() {
        AstPtr root = Or();
        if (Peek().kind != Tok::End) Fail(dsmsg::kFilterSyntax);
        return root;
    }

  private:
    const Token& Peek() const { return t_[pos_]; }
    const Token& Take() {
        const Token& t = t_[pos_];
        if (t.kind != Tok::End) ++pos_;
        return t;
    }
    [[noreturn]] void Unexpected() const {
        Fail(Peek().kind == Tok::End ? dsmsg::kFilterUnterminated : dsmsg::kFilterSyntax);
    }

    AstPtr Leaf(Ast::Kind kind, std::string text = {}) {
        if (++nodes_ > kMaxSyntaxNodes) Fail(dsmsg::kFilterSyntax);
        auto a = std::make_unique<Ast>();
        a->kind = kind;
        a->text = std::move(text);
        return a;
    }
    // Entered a parenthesis or a "not"; Leave when done with it.
    void Enter() {
        if (++depth_ > kMaxNesting) Fail(dsmsg::kFilterSyntax);
    }
    void Leave() { --depth_; }

    AstPtr Or() {
        AstPtr left = And();
        while (KeywordIs(Peek(), "or")) {
            Take();
            left = Join(OP_OR, std::move(left), And());
        }
        return left;
    }
    AstPtr And() {
        AstPtr left = Not();
        while (KeywordIs(Peek(), "and")) {
            Take();
            left = Join(OP_AND, std::move(left), Not());
        }
        return left;
    }
    AstPtr Not() {
        if (KeywordIs(Peek(), "not")) {
            Take();
            Enter();
            AstPtr a = Leaf(Ast::Not);
            a->left = Not();
            Leave();
            return a;
        }
        return Comparison();
    }
    AstPtr Comparison() {
        AstPtr left = Operand();
        if (Peek().kind != Tok::Compare) return left;
        uint32_t op = CompareOp(Take().text);
        AstPtr right = Operand();
        AstPtr a = Leaf(Ast::Compare);
        a->op = op;
        a->left = std::move(left);
        a->right = std::move(right);
        return a;
    }
    AstPtr Operand() {
        const Token& t = Peek();
        switch (t.kind) {
            case Tok::LParen: {
                Take();
                Enter();
                AstPtr inner = Or();
                if (Peek().kind != Tok::RParen) Unexpected();
                Take();
                Leave();
                return inner;
            }
            case Tok::Number:
                return Leaf(Ast::Number, Take().text);
            case Tok::Minus: {
                Take();
                if (Peek().kind != Tok::Number) Unexpected();
                return Leaf(Ast::Number, "-" + Take().text);
            }
            case Tok::String:
                return Leaf(Ast::String, Take().text);
            case Tok::Ident: {
                if (KeywordIs(t, "null")) {
                    Take();
                    return Leaf(Ast::Null);
                }
                if (KeywordIs(t, "true") || KeywordIs(t, "false")) {
                    AstPtr a = Leaf(Ast::Bool);
                    a->value = KeywordIs(Take(), "true");
                    return a;
                }
                if (KeywordIs(t, "and") || KeywordIs(t, "or") || KeywordIs(t, "not"))
                    Fail(dsmsg::kFilterSyntax);
                return Leaf(Ast::Field, Take().text);
            }
            default:
                Unexpected();
        }
    }
    AstPtr Join(uint32_t op, AstPtr left, AstPtr right) {
        AstPtr a = Leaf(Ast::Logic);
        a->op = op;
        a->left = std::move(left);
        a->right = std::move(right);
        return a;
    }

    std::vector<Token> t_;
    size_t pos_ = 0;
    size_t nodes_ = 0;
    size_t depth_ = 0;
};

// ---------------------------------------------------------------------------
// Canonical nodes before layout.
struct Node {
    uint32_t kind = 0;
    uint32_t op = 0;
    std::vector<uint16_t> raw;  // leading plain operands
    bool hasLiteral = false;
    std::vector<uint8_t> literal;
    std::vector<std::unique_ptr<Node>> children;
};
using NodePtr = std::unique_ptr<Node>;

NodePtr MakeNode(uint32_t kind, uint32_t op) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->op = op;
    return n;
}

NodePtr ConstNode(uint32_t type, std::vector<uint8_t> bytes) {
    NodePtr n = MakeNode(EXPR_CONST, OP_CONST);
    n->raw = {static_cast<uint16_t>(type), static_cast<uint16_t>(bytes.size())};
    n->hasLiteral = true;
    n->literal = std::move(bytes);
    return n;
}

template <typename T>
std::vector<uint8_t> Bytes(T v) {
    std::vector<uint8_t> out(sizeof v);
    std::memcpy(out.data(), &v, sizeof v);
    return out;
}

// A string constant: at most 255 characters, with its terminating zero.
NodePtr StringConst(const std::string& text) {
    size_t chars = 0, i = 0;
    while (i < text.size() && chars < kMaxStringChars) {
        i += platform::IsDBCSLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()
                 ? 2
                 : 1;
        ++chars;
    }
    std::vector<uint8_t> bytes(text.begin(), text.begin() + static_cast<long>(i));
    bytes.push_back(0);
    return ConstNode(FLD_STRING, std::move(bytes));
}

NodePtr BoolConst(bool value) {
    return ConstNode(FLD_BOOL16, Bytes<uint16_t>(value ? 1 : 0));
}

bool IsWholeNumber(const std::string& text, int64_t* value) {
    return text.find_first_of(".eE") == std::string::npos && codec::ParseInteger(text, value);
}

// A constant standing without a field to take its type from.
NodePtr UntypedConst(const Ast& a) {
    switch (a.kind) {
        case Ast::String:
            return StringConst(a.text);
        case Ast::Bool:
            return BoolConst(a.value);
        default: {
            int64_t whole;
            if (IsWholeNumber(a.text, &whole) && whole >= INT32_MIN && whole <= INT32_MAX)
                return ConstNode(FLD_INT32, Bytes<int32_t>(static_cast<int32_t>(whole)));
            double d;
            if (!codec::ParseFloat(a.text, &d)) Fail(dsmsg::kConstantRange);
            return ConstNode(FLD_FLOAT, Bytes<double>(d));
        }
    }
}

bool IsConstant(const Ast& a) {
    return a.kind == Ast::Number || a.kind == Ast::String || a.kind == Ast::Bool;
}

bool IsStringKind(TFieldKind k) {
    return k == ftString || k == ftWideString;
}

class Writer {
  public:
    Writer(const FieldLookup& lookup, bool caseInsensitive)
        : lookup_(lookup), caseInsensitive_(caseInsensitive) {}

    // An operand in a place where a truth value is expected.
    NodePtr Boolean(const Ast& a) {
        switch (a.kind) {
            case Ast::Logic: {
                NodePtr n = MakeNode(EXPR_BINARY, a.op);
                n->children.push_back(Boolean(*a.left));
                n->children.push_back(Boolean(*a.right));
                return n;
            }
            case Ast::Not: {
                NodePtr n = MakeNode(EXPR_UNARY, OP_NOT);
                n->children.push_back(Boolean(*a.left));
                return n;
            }
            case Ast::Compare:
                return Comparison(a);
            case Ast::Field: {
                const FieldInfo& f = Field(a.text);
                NodePtr field = FieldNode(f);
                if (f.kind != ftBoolean) return field;
                // A truth-valued field alone reads as "field <> false".
                NodePtr n = MakeNode(EXPR_BINARY, OP_NE);
                n->children.push_back(std::move(field));
                n->children.push_back(BoolConst(false));
                return n;
            }
            case Ast::Null:
                Fail(dsmsg::kFilterSyntax);
            default:
                return UntypedConst(a);
        }
    }

  private:
    const FieldInfo& Field(const std::string& name) {
        const FieldInfo* f = lookup_(name);
        if (!f) Fail(dsmsg::kFieldNotFound, {name});
        switch (f->kind) {
            case ftUnknown:
            case ftBlob:
            case ftMemo:
            case ftFmtMemo:
            case ftGraphic:
            case ftTypedBinary:
            case ftBytes:
            case ftVarBytes:
                Fail(dsmsg::kFilterFieldNotAllowed, {f->name});
            default:
                return *f;
        }
    }

    NodePtr FieldNode(const FieldInfo& f) {
        NodePtr n = MakeNode(EXPR_FIELD, OP_FIELD);
        n->raw = {static_cast<uint16_t>(f.fieldNo)};
        n->hasLiteral = true;
        n->literal.assign(f.name.begin(), f.name.end());
        n->literal.push_back(0);
        return n;
    }

    NodePtr Operand(const Ast& a) {
        if (a.kind == Ast::Field) return FieldNode(Field(a.text));
        if (IsConstant(a)) return UntypedConst(a);
        if (a.kind == Ast::Null) Fail(dsmsg::kNullOperator);
        return Boolean(a);
    }

    NodePtr Comparison(const Ast& a) {
        const Ast* left = a.left.get();
        const Ast* right = a.right.get();
        uint32_t op = a.op;
        if (left->kind == Ast::Null || right->kind == Ast::Null) {
            if (left->kind == Ast::Null && right->kind == Ast::Null) Fail(dsmsg::kFilterSyntax);
            if (op != OP_EQ && op != OP_NE) Fail(dsmsg::kNullOperator);
            const Ast& other = left->kind == Ast::Null ? *right : *left;
            NodePtr n = MakeNode(EXPR_UNARY, op == OP_EQ ? OP_IS_BLANK : OP_NOT_BLANK);
            n->children.push_back(Operand(other));
            return n;
        }
        // A constant on the left of a field moves to the right.
        if (IsConstant(*left) && right->kind == Ast::Field) {
            std::swap(left, right);
            op = Mirror(op);
        }
        if (left->kind == Ast::Field && IsConstant(*right)) {
            const FieldInfo& f = Field(left->text);
            uint16_t partial = 0;
            NodePtr constant = TypedConst(f, *right, &partial);
            bool compare = IsStringKind(f.kind) && (partial > 0 || caseInsensitive_);
            return Join(op, FieldNode(f), std::move(constant), compare, partial);
        }
        NodePtr l = Operand(*left);
        NodePtr r = Operand(*right);
        bool compare = caseInsensitive_ && IsStringOperand(*left) && IsStringOperand(*right);
        return Join(op, std::move(l), std::move(r), compare, 0);
    }

    bool IsStringOperand(const Ast& a) {
        if (a.kind == Ast::String) return true;
        if (a.kind != Ast::Field) return false;
        const FieldInfo* f = lookup_(a.text);
        return f && IsStringKind(f->kind);
    }

    NodePtr Join(uint32_t op, NodePtr l, NodePtr r, bool compare, uint16_t partial) {
        NodePtr n = MakeNode(compare ? EXPR_COMPARE : EXPR_BINARY, op);
        if (compare) n->raw = {static_cast<uint16_t>(caseInsensitive_ ? 1 : 0), partial};
        n->children.push_back(std::move(l));
        n->children.push_back(std::move(r));
        return n;
    }

    static uint32_t Mirror(uint32_t op) {
        switch (op) {
            case OP_LT:
                return OP_GT;
            case OP_GT:
                return OP_LT;
            case OP_LE:
                return OP_GE;
            case OP_GE:
                return OP_LE;
        }
        return op;
    }

    // The constant converted to the field's kind and size.
    NodePtr TypedConst(const FieldInfo& f, const Ast& c, uint16_t* partial) {
        const std::string& text = c.text;
        switch (f.kind) {
            case ftString:
            case ftWideString: {
                std::string value = c.kind == Ast::Bool ? (c.value ? "True" : "False") : text;
                if (c.kind == Ast::String && !value.empty() && value.back() == '*') {
                    value.pop_back();
                    *partial = static_cast<uint16_t>(std::min<size_t>(value.size(), 0xFFFF));
                }
                if (f.kind == ftString) return StringConst(value);
                std::vector<uint8_t> wide;
                codec::ParseValue(FLD_UNICODE, static_cast<uint32_t>(value.size() * 2 + 2), value,
                                  &wide);
                return ConstNode(FLD_UNICODE, std::move(wide));
            }
            case ftSmallint:
            case ftWord:
            case ftInteger:
            case ftAutoInc: {
                int64_t v;
                bool whole = c.kind != Ast::Bool && IsWholeNumber(text, &v);
                if (!whole) {
                    double d;
                    if (c.kind == Ast::Number && codec::ParseFloat(text, &d))
                        return ConstNode(FLD_FLOAT, Bytes<double>(d));
                    Fail(dsmsg::kBadInteger, {text, f.name});
                }
                return IntegerConst(f, v);
            }
            case ftBoolean: {
                if (c.kind == Ast::Bool) return BoolConst(c.value);
                int64_t v;
                if (IsWholeNumber(text, &v)) return BoolConst(v != 0);
                std::vector<uint8_t> b;
                if (codec::ParseValue(FLD_BOOL16, 2, text, &b) != codec::ParseError::None)
                    Fail(dsmsg::kBadBoolean, {text, f.name});
                return BoolConst(b[0] != 0);
            }
            case ftDate:
            case ftTime:
            case ftDateTime: {
                uint32_t type = f.kind == ftDate   ? FLD_DATE
                                : f.kind == ftTime ? FLD_TIME
                                                   : FLD_TIMESTAMP;
                uint32_t width = type == FLD_TIMESTAMP ? 8 : 4;
                std::vector<uint8_t> v;
                if (c.kind == Ast::Bool ||
                    codec::ParseValue(type, width, text, &v) != codec::ParseError::None)
                    Fail(dsmsg::kBadDate, {text, f.name});
                return ConstNode(type, std::move(v));
            }
            default: {
                // Float, currency, packed decimal and 64-bit fields compare as floats.
                double d;
                if (c.kind == Ast::Bool || !codec::ParseFloat(text, &d))
                    Fail(dsmsg::kBadFloat, {text, f.name});
                return ConstNode(FLD_FLOAT, Bytes<double>(d));
            }
        }
    }

    NodePtr IntegerConst(const FieldInfo& f, int64_t v) {
        switch (f.kind) {
            case ftSmallint:
                if (v < INT16_MIN || v > INT16_MAX) Fail(dsmsg::kConstantRange);
                return ConstNode(FLD_INT16, Bytes<int16_t>(static_cast<int16_t>(v)));
            case ftWord:
                if (v < 0 || v > UINT16_MAX) Fail(dsmsg::kConstantRange);
                return ConstNode(FLD_UINT16, Bytes<uint16_t>(static_cast<uint16_t>(v)));
            default:
                if (f.engineType == FLD_UINT32) {
                    if (v < 0 || v > UINT32_MAX) Fail(dsmsg::kConstantRange);
                    return ConstNode(FLD_UINT32, Bytes<uint32_t>(static_cast<uint32_t>(v)));
                }
                if (v < INT32_MIN || v > INT32_MAX) Fail(dsmsg::kConstantRange);
                return ConstNode(FLD_INT32, Bytes<int32_t>(static_cast<int32_t>(v)));
        }
    }

    const FieldLookup& lookup_;
    bool caseInsensitive_;
};

// ---------------------------------------------------------------------------
// Layout: nodes in pre-order (root at offset 0), literals in the same order.
size_t NodeSize(const Node& n) {
    return 8 + 2 * (n.raw.size() + (n.hasLiteral ? 1 : 0) + n.children.size());
}

void Place(const Node& n, size_t& nodeEnd, size_t& literalEnd,
           std::vector<std::pair<const Node*, std::pair<size_t, size_t>>>& order) {
    size_t at = nodeEnd;
    nodeEnd += NodeSize(n);
    size_t lit = literalEnd;
    literalEnd += n.literal.size();
    order.push_back({&n, {at, lit}});
    for (const auto& child : n.children) Place(*child, nodeEnd, literalEnd, order);
}

void Put16(std::vector<uint8_t>& out, size_t at, size_t v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Lay(const Node& root) {
    constexpr size_t kHeader = 10;
    size_t nodeEnd = 0, literalEnd = 0;
    std::vector<std::pair<const Node*, std::pair<size_t, size_t>>> order;
    Place(root, nodeEnd, literalEnd, order);
    size_t literalArea = kHeader + nodeEnd;
    size_t total = literalArea + literalEnd;
    if (total > 0xFFFF) Fail(dsmsg::kFilterSyntax);
    std::vector<uint8_t> out(total, 0);
    Put16(out, 0, 2);
    Put16(out, 2, total);
    Put16(out, 4, 0xFFFF);
    Put16(out, 6, kHeader);
    Put16(out, 8, literalArea);
    // Node offsets by node, so that long texts are laid out in linear time.
    std::unordered_map<const Node*, size_t> offsets;
    for (const auto& [node, where] : order) offsets.emplace(node, where.first);
    for (const auto& [node, where] : order) {
        size_t at = kHeader + where.first;
        Put32(out, at, node->kind);
        Put32(out, at + 4, node->op);
        at += 8;
        for (uint16_t v : node->raw) {
            Put16(out, at, v);
            at += 2;
        }
        if (node->hasLiteral) {
            Put16(out, at, where.second);
            at += 2;
            std::memcpy(out.data() + literalArea + where.second, node->literal.data(),
                        node->literal.size());
        }
        for (const auto& child : node->children) {
            Put16(out, at, offsets.at(child.get()));
            at += 2;
        }
    }
    return out;
}

}  // namespace

std::vector<uint8_t> Translate(const std::string& text, const FieldLookup& lookup,
                               bool caseInsensitive) {
    AstPtr root = Parser(Tokenize(text)).ParseAll();
    NodePtr node = Writer(lookup, caseInsensitive).Boolean(*root);
    return Lay(*node);
}

}  // namespace sarvenu::filterexpr
