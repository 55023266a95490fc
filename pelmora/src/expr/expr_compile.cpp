// Compiling a canonical expression into evaluation steps: field lookup,
// constants, implicit conversions, the type rules of every operator, lists
// for IN, and functions. The node graph is walked children first with a
// depth limit and an on-path mark per node, so a graph that loops or nests
// without end is refused instead of being followed.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "expr/expr_direct.h"
#include "expr/expr_format.h"
#include "platform/collation.h"
#include "store/bcd.h"

namespace pelmora {

namespace {

// Deepest node nesting followed, and the most steps one expression may make.
constexpr uint32_t kMaxDepth = 256;
constexpr size_t kMaxSteps = 65536;
// Most bytes the steps of one expression may own.
constexpr size_t kMaxOwnedBytes = size_t{4} << 20;
// Longest Unicode value in characters (its byte count is 16-bit).
constexpr uint32_t kMaxWideChars = 32767;

bool IsNumeric(uint32_t t) {
    return t == EXPR_T_INT16 || t == EXPR_T_INT32 || t == EXPR_T_FLOAT || t == EXPR_T_BCD;
}

bool IsTemporal(uint32_t t) {
    return t == EXPR_T_DATE || t == EXPR_T_TIME || t == EXPR_T_TIMESTAMP;
}

// Types OP_EQ and OP_NE accept (after conversion, both operands alike).
bool EqualityType(uint32_t t) {
    switch (t) {
        case EXPR_T_STRING:
        case EXPR_T_DATE:
        case EXPR_T_BOOL:
        case EXPR_T_INT16:
        case EXPR_T_INT32:
        case EXPR_T_FLOAT:
        case EXPR_T_BCD:
        case EXPR_T_BYTES:
        case EXPR_T_TIME:
        case EXPR_T_TIMESTAMP:
        case EXPR_T_UNICODE:
            return true;
        default:
            return false;
    }
}

bool OrderingType(uint32_t t) {
    return EqualityType(t) && t != EXPR_T_BYTES;
}

// Natural width of a fixed-width expression type; 0 for the others.
uint32_t FixedWidth(uint32_t t) {
    switch (t) {
        case EXPR_T_BOOL:
        case EXPR_T_INT16:
            return 2;
        case EXPR_T_DATE:
        case EXPR_T_TIME:
        case EXPR_T_INT32:
        case EXPR_T_BLOB:
            return 4;
        case EXPR_T_FLOAT:
        case EXPR_T_TIMESTAMP:
            return 8;
        default:
            return 0;
    }
}

// The expression type a field's values take, and whether they are read
// directly from the record (true) or converted by the field step.
uint32_t ExprTypeOfField(uint32_t fieldType, bool& direct) {
    direct = true;
    switch (fieldType) {
        case FLD_STRING:
        case FLD_DATE:
        case FLD_BLOB:
        case FLD_BOOL16:
        case FLD_INT16:
        case FLD_INT32:
        case FLD_FLOAT:
        case FLD_BCD:
        case FLD_BYTES:
        case FLD_TIME:
        case FLD_TIMESTAMP:
        case FLD_UNICODE:
            return fieldType;
        case FLD_UINT16:
            return EXPR_T_INT16;
        case FLD_UINT32:
            return EXPR_T_INT32;
        case FLD_INT8:
        case FLD_UINT8:
            direct = false;
            return EXPR_T_INT16;
        case FLD_BOOL8:
        case FLD_BOOL32:
            direct = false;
            return EXPR_T_BOOL;
        case FLD_INT64:
        case FLD_UINT64:
            direct = false;
            return EXPR_T_FLOAT;
        default:
            // Other types can only be tested for blanks.
            return fieldType;
    }
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b,
                          const platform::Collation& collation) {
    return collation.Compare(a.data(), static_cast<ptrdiff_t>(a.size()), b.data(),
                             static_cast<ptrdiff_t>(b.size()), true) == 0;
}

bool AsciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

struct FunctionName {
    const char* name;
    FunctionId id;
};

constexpr FunctionName kFunctions[] = {
    {"upper", FunctionId::Upper},       {"lower", FunctionId::Lower},
    {"trim", FunctionId::Trim},         {"trimleft", FunctionId::TrimLeft},
    {"triml", FunctionId::TrimLeft},    {"trimright", FunctionId::TrimRight},
    {"trimt", FunctionId::TrimRight},   {"substring", FunctionId::Substring},
    {"year", FunctionId::Year},         {"month", FunctionId::Month},
    {"day", FunctionId::Day},           {"hour", FunctionId::Hour},
    {"minute", FunctionId::Minute},     {"second", FunctionId::Second},
    {"date", FunctionId::Date},         {"time", FunctionId::Time},
    {"getdate", FunctionId::GetDate},   {"sum", FunctionId::Sum},
    {"min", FunctionId::Min},           {"max", FunctionId::Max},
    {"avg", FunctionId::Avg},           {"count", FunctionId::Count},
    {"count(*)", FunctionId::CountAll},
};

bool IsAggregateFunction(FunctionId id) {
    return id >= FunctionId::Sum;
}

}  // namespace

// The compiler proper: one instance per compile.
class ExprCompiler {
  public:
    ExprCompiler(QCanFilter& filter, const ExprReader& reader, CompileMode mode)
        : filter_(filter),
          steps_(filter.steps_),
          reader_(reader),
          mode_(mode),
          fields_(filter.dataset_->fields()),
          collation_(filter.dataset_->collation()) {}

    EngineResult CompileRoot() {
        try {
            onPath_.assign(65536, false);
            int32_t root = kNoOperand;
            return Compile(0, 0, root);
        } catch (const std::bad_alloc&) {
            return DSERR_NOMEMORY;
        } catch (const std::length_error&) {
            return DSERR_NOMEMORY;
        }
    }

  private:
    // ---- steps ----------------------------------------------------------
    EngineResult Append(QCanExecElem step, int32_t& out) {
        if (steps_.size() >= kMaxSteps) return DSERR_INVALIDPARAM;
        // Field steps read the record directly unless they convert.
        if (step.code != StepCode::Field) {
            if (step.own.size() < step.width) step.own.resize(step.width);
            if (step.own.empty()) step.own.resize(1);
        }
        ownedBytes_ += step.own.size();
        if (ownedBytes_ > kMaxOwnedBytes) return DSERR_INVALIDPARAM;
        steps_.push_back(std::move(step));
        out = static_cast<int32_t>(steps_.size() - 1);
        return DS_OK;
    }

    QCanExecElem& At(int32_t i) { return steps_[static_cast<size_t>(i)]; }

    // A step converting `from` to type `to`; 11871 when there is no such
    // conversion.
    EngineResult Convert(int32_t& from, uint32_t to, uint32_t precision = 0, uint32_t scale = 0) {
        const QCanExecElem& src = At(from);
        const uint32_t t = src.type;
        if (t == to && to != EXPR_T_BCD) return DS_OK;
        QCanExecElem step;
        step.code = StepCode::Convert;
        step.type = to;
        step.operand[0] = from;
        if (IsNumeric(t) && IsNumeric(to)) {
            if (to == EXPR_T_BCD) {
                if (t == EXPR_T_BCD && src.precision == precision && src.scale == scale) {
                    return DS_OK;
                }
                if (precision == 0 && scale == 0) {
                    precision = 32;
                    scale = 15;
                }
                if (precision > kBcdMaxDigits || scale > precision) return DSERR_TYPEMISMATCH;
                step.precision = precision;
                step.scale = scale;
                step.width = static_cast<uint32_t>(BcdBytes(precision));
            } else {
                step.width = FixedWidth(to);
            }
        } else if ((t == EXPR_T_DATE && to == EXPR_T_TIMESTAMP) ||
                   (t == EXPR_T_TIMESTAMP && to == EXPR_T_DATE) ||
                   (t == EXPR_T_TIMESTAMP && to == EXPR_T_TIME) ||
                   (t == EXPR_T_TIME && to == EXPR_T_TIMESTAMP)) {
            step.width = FixedWidth(to);
        } else if (t == EXPR_T_STRING && to == EXPR_T_UNICODE) {
            const uint32_t chars = std::min(src.width == 0 ? 0 : src.width - 1, kMaxWideChars);
            step.width = 2 + 2 * chars;
        } else {
            return DSERR_TYPEMISMATCH;
        }
        return Append(std::move(step), from);
    }

    // The type both operands of a binary operator take: numbers of different
    // kinds (or packed decimals) become floats, a date meeting a timestamp
    // becomes a timestamp, a timestamp meeting a time becomes a time, an
    // 8-bit string meeting a Unicode string becomes Unicode.
    static uint32_t CommonType(uint32_t a, uint32_t b) {
        if (IsNumeric(a) && IsNumeric(b)) {
            return (a != b || a == EXPR_T_BCD) ? EXPR_T_FLOAT : a;
        }
        if (a == b) return a;
        auto either = [&](uint32_t x, uint32_t y) {
            return (a == x && b == y) || (a == y && b == x);
        };
        if (either(EXPR_T_DATE, EXPR_T_TIMESTAMP)) return EXPR_T_TIMESTAMP;
        if (either(EXPR_T_TIME, EXPR_T_TIMESTAMP)) return EXPR_T_TIME;
        if (either(EXPR_T_STRING, EXPR_T_UNICODE)) return EXPR_T_UNICODE;
        return 0;
    }

    // Applies the implicit conversions of binary operators to both operands.
    EngineResult Harmonise(int32_t& left, int32_t& right) {
        const uint32_t common = CommonType(At(left).type, At(right).type);
        if (common == 0) return DS_OK;  // the type rules decide
        if (EngineResult r = Convert(left, common); r != DS_OK) return r;
        return Convert(right, common);
    }

    // ---- nodes ------------------------------------------------------------
    EngineResult Compile(uint16_t at, uint32_t depth, int32_t& out) {
        if (depth >= kMaxDepth || onPath_[at]) return DSERR_INVALIDPARAM;
        ExprNode node;
        if (EngineResult r = reader_.Node(at, node); r != DS_OK) return r;
        onPath_[at] = true;
        const EngineResult r = CompileNode(node, depth, out);
        onPath_[at] = false;
        return r;
    }

    EngineResult CompileNode(const ExprNode& node, uint32_t depth, int32_t& out) {
        switch (node.op) {
            case OP_FIELD:
                return CompileField(node, out);
            case OP_CONST:
                return CompileConst(node, out);
            case OP_IS_BLANK:
            case OP_NOT_BLANK:
            case OP_NOT:
                return CompileUnary(node, depth, out);
            case OP_FUNCTION:
                return CompileFunction(node, depth, out);
            case OP_IN:
                return CompileIn(node, depth, out);
            case OP_ASSIGN:
                return CompileAssign(node, depth, out);
            case OP_LIST:
            case OP_LIST_ITEM:
                // Lists stand only on the right of IN or as arguments.
                return DSERR_TYPEMISMATCH;
            default:
                return CompileBinary(node, depth, out);
        }
    }

    // Finds a field by name ignoring case; "a.b" finds child b of the
    // structured field a. 0 when none.
    uint32_t FindField(std::string_view name) const {
        for (uint32_t k = 0; k < fields_.size(); ++k) {
            const char* fn = fields_[k].name;
            if (SameNameIgnoringCase(std::string_view(fn, strnlen(fn, sizeof fields_[k].name)),
                                     name, collation_)) {
                return k + 1;
            }
        }
        uint32_t parent = 0;
        size_t start = 0;
        while (true) {
            const size_t dot = name.find('.', start);
            const std::string_view part = dot == std::string_view::npos
                                              ? name.substr(start)
                                              : name.substr(start, dot - start);
            uint32_t found = 0;
            for (uint32_t k = 0; k < fields_.size() && found == 0; ++k) {
                const FieldDesc& f = fields_[k];
                if (f.parentId != parent) continue;
                if (SameNameIgnoringCase(std::string_view(f.name, strnlen(f.name, sizeof f.name)),
                                         part, collation_)) {
                    found = k + 1;
                }
            }
            if (found == 0 || dot == std::string_view::npos) return found;
            parent = fields_[found - 1].fieldId;
            start = dot + 1;
        }
    }

    EngineResult CompileField(const ExprNode& node, int32_t& out) {
        std::string_view name;
        if (EngineResult r = reader_.Text(node.operand[1], name); r != DS_OK) return r;
        const uint32_t field = FindField(name);
        if (field == 0) return DSERR_TYPEMISMATCH;
        const FieldDesc& f = fields_[field - 1];
        QCanExecElem step;
        step.code = StepCode::Field;
        step.fieldNumber = field;
        bool direct = true;
        step.type = ExprTypeOfField(f.type, direct);
        step.fieldType = f.type;
        step.fieldOffset = f.offset;
        step.fieldIndicator = f.indicatorOffset;
        step.fieldWidth = f.length;
        step.width = direct ? f.length : FixedWidth(step.type);
        if (f.type == FLD_BCD) {
            step.precision = f.units1;
            step.scale = f.units2;
        }
        if (!direct) step.own.resize(step.width);
        return Append(std::move(step), out);
    }

    EngineResult CompileConst(const ExprNode& node, int32_t& out) {
        uint32_t type = node.operand[0];
        const uint32_t size = node.operand[1];
        const uint8_t* bytes = nullptr;
        if (EngineResult r = reader_.Bytes(node.operand[2], size, bytes); r != DS_OK) return r;
        if (type == FLD_UINT16) type = EXPR_T_INT16;
        if (type == FLD_UINT32) type = EXPR_T_INT32;
        QCanExecElem step;
        step.code = StepCode::Const;
        step.type = type;
        step.blank = false;
        switch (type) {
            case EXPR_T_STRING:
                step.width = size + 1;
                step.own.assign(bytes, bytes + size);
                step.own.push_back(0);
                break;
            case EXPR_T_BOOL:
                // One or two bytes; any non-zero value is true.
                if (size == 0) return DSERR_INVALIDPARAM;
                step.width = 2;
                step.own.assign(2, 0);
                step.own[0] = bytes[0];
                if (size > 1) step.own[1] = bytes[1];
                break;
            case EXPR_T_DATE:
            case EXPR_T_TIME:
            case EXPR_T_INT16:
            case EXPR_T_INT32:
            case EXPR_T_FLOAT:
            case EXPR_T_TIMESTAMP:
                step.width = FixedWidth(type);
                if (size < step.width) return DSERR_INVALIDPARAM;
                step.own.assign(bytes, bytes + step.width);
                break;
            case EXPR_T_BCD: {
                if (size < 2) return DSERR_INVALIDPARAM;
                step.precision = bytes[0];
                step.scale = bytes[1] & kBcdPlacesMask;
                if (step.precision > kBcdMaxDigits || step.scale > step.precision ||
                    BcdBytes(step.precision) > size) {
                    return DSERR_INVALIDPARAM;
                }
                step.width = size;
                step.own.assign(bytes, bytes + size);
                break;
            }
            case EXPR_T_BYTES:
                if (size == 0) return DSERR_INVALIDPARAM;
                step.width = size;
                step.own.assign(bytes, bytes + size);
                break;
            case EXPR_T_UNICODE:
                if (size < 2) return DSERR_INVALIDPARAM;
                step.width = size;
                step.own.assign(bytes, bytes + size);
                break;
            default:
                return DSERR_TYPEMISMATCH;
        }
        step.value = nullptr;
        return Append(std::move(step), out);
    }

    EngineResult CompileUnary(const ExprNode& node, uint32_t depth, int32_t& out) {
        int32_t a = kNoOperand;
        if (EngineResult r = Compile(node.operand[0], depth + 1, a); r != DS_OK) return r;
        QCanExecElem step;
        step.type = EXPR_T_BOOL;
        step.width = 2;
        step.op = node.op;
        step.operand[0] = a;
        switch (node.op) {
            case OP_IS_BLANK:
                step.code = StepCode::IsBlank;
                break;
            case OP_NOT_BLANK:
                step.code = StepCode::NotBlank;
                break;
            default:
                if (At(a).type != EXPR_T_BOOL) return DSERR_TYPEMISMATCH;
                step.code = StepCode::Not;
                break;
        }
        return Append(std::move(step), out);
    }

    EngineResult CompileBinary(const ExprNode& node, uint32_t depth, int32_t& out) {
        const uint32_t first = node.kind == EXPR_COMPARE ? 2 : 0;
        int32_t a = kNoOperand;
        int32_t b = kNoOperand;
        if (EngineResult r = Compile(node.operand[first], depth + 1, a); r != DS_OK) return r;
        if (EngineResult r = Compile(node.operand[first + 1], depth + 1, b); r != DS_OK) return r;
        QCanExecElem step;
        step.op = node.op;
        if (node.kind == EXPR_COMPARE) {
            step.ignoreCase = node.operand[0] != 0;
            step.partial = node.operand[1];
            // The partial length applies to the operand that is a field.
            ExprNode left;
            const bool leftIsField =
                reader_.Node(node.operand[first], left) == DS_OK && left.op == OP_FIELD;
            step.partialSide = leftIsField ? 0 : 1;
        }

        if (node.op == OP_AND || node.op == OP_OR) {
            if (At(a).type != EXPR_T_BOOL || At(b).type != EXPR_T_BOOL) return DSERR_TYPEMISMATCH;
            step.code = node.op == OP_AND ? StepCode::And : StepCode::Or;
            step.type = EXPR_T_BOOL;
            step.width = 2;
        } else if (node.op == OP_LIKE) {
            const uint32_t ta = At(a).type;
            if ((ta != EXPR_T_STRING && ta != EXPR_T_BLOB) || At(b).type != EXPR_T_STRING) {
                return DSERR_TYPEMISMATCH;
            }
            step.code = StepCode::Like;
            step.type = EXPR_T_BOOL;
            step.width = 2;
        } else if (IsComparison(node.op)) {
            if (EngineResult r = Harmonise(a, b); r != DS_OK) return r;
            const uint32_t ta = At(a).type;
            const uint32_t tb = At(b).type;
            const bool equality = node.op == OP_EQ || node.op == OP_NE;
            const bool boolString = equality && ((ta == EXPR_T_BOOL && tb == EXPR_T_STRING) ||
                                                 (ta == EXPR_T_STRING && tb == EXPR_T_BOOL));
            if (!boolString) {
                if (ta != tb) return DSERR_TYPEMISMATCH;
                if (equality ? !EqualityType(ta) : !OrderingType(ta)) return DSERR_TYPEMISMATCH;
            }
            step.code = StepCode::Compare;
            step.type = EXPR_T_BOOL;
            step.width = 2;
        } else if (node.op == OP_ADD || node.op == OP_SUB || node.op == OP_MUL ||
                   node.op == OP_DIV) {
            if (EngineResult r = CompileArithmetic(node.op, a, b, step); r != DS_OK) return r;
        } else {
            return DSERR_TYPEMISMATCH;
        }
        step.operand[0] = a;
        step.operand[1] = b;
        return Append(std::move(step), out);
    }

    EngineResult CompileArithmetic(uint32_t op, int32_t& a, int32_t& b, QCanExecElem& step) {
        // A date, time or timestamp shifted by a number keeps its type.
        if (IsTemporal(At(a).type) && IsNumeric(At(b).type) && (op == OP_ADD || op == OP_SUB)) {
            step.code = StepCode::DateShift;
            step.type = At(a).type;
            step.width = FixedWidth(step.type);
            return DS_OK;
        }
        if (EngineResult r = Harmonise(a, b); r != DS_OK) return r;
        const uint32_t ta = At(a).type;
        if (ta != At(b).type) return DSERR_TYPEMISMATCH;
        if (op == OP_SUB && IsTemporal(ta)) {
            step.code = StepCode::DateDiff;
            step.type = ta == EXPR_T_TIME ? EXPR_T_INT32 : EXPR_T_FLOAT;
            step.width = FixedWidth(step.type);
            return DS_OK;
        }
        if (ta == EXPR_T_STRING && op == OP_ADD) {
            step.code = StepCode::Arith;
            step.type = EXPR_T_STRING;
            step.width = At(a).width + At(b).width;
            if (step.width > kMaxFieldWidthForExpr) return DSERR_TYPEMISMATCH;
            return DS_OK;
        }
        if (ta != EXPR_T_INT16 && ta != EXPR_T_INT32 && ta != EXPR_T_FLOAT) {
            return DSERR_TYPEMISMATCH;
        }
        step.code = StepCode::Arith;
        step.type = ta;
        step.width = FixedWidth(ta);
        return DS_OK;
    }

    // Reads an OP_LIST_ITEM chain starting at `at` into value-node offsets;
    // at most `limit` items (more gives 11871).
    EngineResult ReadChain(uint16_t at, size_t limit, std::vector<uint16_t>& values) {
        std::vector<uint16_t> visited;
        EngineResult result = DS_OK;
        while (true) {
            if (onPath_[at]) {
                result = DSERR_INVALIDPARAM;
                break;
            }
            ExprNode item;
            if ((result = reader_.Node(at, item)) != DS_OK) break;
            if (item.op != OP_LIST_ITEM) {
                result = DSERR_TYPEMISMATCH;
                break;
            }
            if (values.size() == limit) {
                result = DSERR_TYPEMISMATCH;
                break;
            }
            onPath_[at] = true;
            visited.push_back(at);
            values.push_back(item.operand[0]);
            if (item.operand[1] == 0) break;
            at = item.operand[1];
        }
        for (uint16_t v : visited) onPath_[v] = false;
        return result;
    }

    EngineResult CompileIn(const ExprNode& node, uint32_t depth, int32_t& out) {
        const uint32_t first = node.kind == EXPR_COMPARE ? 2 : 0;
        int32_t left = kNoOperand;
        if (EngineResult r = Compile(node.operand[first], depth + 1, left); r != DS_OK) return r;
        const uint16_t listAt = node.operand[first + 1];
        ExprNode list;
        if (EngineResult r = reader_.Node(listAt, list); r != DS_OK) return r;
        std::vector<int32_t> items;
        if (list.op == OP_LIST) {
            if (EngineResult r = CompileArray(list, items); r != DS_OK) return r;
        } else if (list.op == OP_LIST_ITEM) {
            std::vector<uint16_t> values;
            if (EngineResult r = ReadChain(listAt, kMaxSteps, values); r != DS_OK) return r;
            for (uint16_t v : values) {
                int32_t item = kNoOperand;
                if (EngineResult r = Compile(v, depth + 1, item); r != DS_OK) return r;
                items.push_back(item);
            }
        } else {
            return DSERR_TYPEMISMATCH;
        }
        // Every element and the left value take one common type.
        uint32_t common = At(left).type;
        for (int32_t item : items) {
            const uint32_t t = CommonType(common, At(item).type);
            if (t == 0) return DSERR_TYPEMISMATCH;
            common = t;
        }
        if (!EqualityType(common) || common == EXPR_T_BCD) {
            if (common != EXPR_T_BCD) return DSERR_TYPEMISMATCH;
            common = EXPR_T_FLOAT;
        }
        if (EngineResult r = Convert(left, common); r != DS_OK) return r;
        QCanExecElem step;
        step.code = StepCode::In;
        step.op = OP_IN;
        step.type = EXPR_T_BOOL;
        step.width = 2;
        for (int32_t item : items) {
            if (EngineResult r = Convert(item, common); r != DS_OK) return r;
            if (At(item).type != common) return DSERR_TYPEMISMATCH;
            step.list.push_back(static_cast<uint32_t>(item));
        }
        if (At(left).type != common) return DSERR_TYPEMISMATCH;
        step.operand[0] = left;
        return Append(std::move(step), out);
    }

    // An array constant: one constant step per element.
    EngineResult CompileArray(const ExprNode& node, std::vector<int32_t>& items) {
        uint32_t type = node.operand[0];
        const uint32_t total = node.operand[1];
        const uint32_t count = node.operand[2];
        const uint32_t width = node.operand[3];
        const uint8_t* bytes = nullptr;
        if (EngineResult r = reader_.Bytes(node.operand[4], total, bytes); r != DS_OK) return r;
        if (type == FLD_UINT16) type = EXPR_T_INT16;
        if (type == FLD_UINT32) type = EXPR_T_INT32;
        size_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            QCanExecElem step;
            step.code = StepCode::Const;
            step.type = type;
            step.blank = false;
            if (type == EXPR_T_STRING) {
                const void* nul = at < total ? std::memchr(bytes + at, 0, total - at) : nullptr;
                if (nul == nullptr) return DSERR_INVALIDPARAM;
                const size_t n = static_cast<const uint8_t*>(nul) - (bytes + at);
                step.own.assign(bytes + at, bytes + at + n + 1);
                step.width = static_cast<uint32_t>(n + 1);
                at += n + 1;
            } else {
                const uint32_t fixed = FixedWidth(type);
                if (fixed != 0 ? width < fixed : width == 0) return DSERR_INVALIDPARAM;
                if (type == EXPR_T_BLOB || !EqualityType(type)) return DSERR_TYPEMISMATCH;
                if (width > total || at > total - width) return DSERR_INVALIDPARAM;
                step.width = fixed != 0 ? fixed : width;
                step.own.assign(bytes + at, bytes + at + step.width);
                if (type == EXPR_T_BCD) {
                    step.precision = bytes[at];
                    step.scale = bytes[at + 1] & kBcdPlacesMask;
                    if (width < 2 || step.precision > kBcdMaxDigits ||
                        BcdBytes(step.precision) > width) {
                        return DSERR_INVALIDPARAM;
                    }
                }
                if (type == EXPR_T_UNICODE && width < 2) return DSERR_INVALIDPARAM;
                at += width;
            }
            int32_t out = kNoOperand;
            if (EngineResult r = Append(std::move(step), out); r != DS_OK) return r;
            items.push_back(out);
        }
        return DS_OK;
    }

    // OP_ASSIGN: the value (left) converted to the type of the target field
    // (right).
    EngineResult CompileAssign(const ExprNode& node, uint32_t depth, int32_t& out) {
        const uint32_t first = node.kind == EXPR_COMPARE ? 2 : 0;
        ExprNode target;
        if (EngineResult r = reader_.Node(node.operand[first + 1], target); r != DS_OK) return r;
        if (target.op != OP_FIELD) return DSERR_TYPEMISMATCH;
        int32_t value = kNoOperand;
        int32_t field = kNoOperand;
        if (EngineResult r = Compile(node.operand[first], depth + 1, value); r != DS_OK) return r;
        if (EngineResult r = Compile(node.operand[first + 1], depth + 1, field); r != DS_OK) {
            return r;
        }
        const QCanExecElem& f = At(field);
        const uint32_t type = f.type;
        const uint32_t width = f.width;
        const uint32_t precision = f.precision;
        const uint32_t scale = f.scale;
        if (At(value).type != type || type == EXPR_T_BCD) {
            if (EngineResult r = Convert(value, type, precision, scale); r != DS_OK) return r;
        }
        if (At(value).type != type || !EqualityType(type)) return DSERR_TYPEMISMATCH;
        QCanExecElem step;
        step.code = StepCode::Assign;
        step.op = OP_ASSIGN;
        step.type = type;
        step.width = width;
        step.precision = precision;
        step.scale = scale;
        step.operand[0] = value;
        step.operand[1] = field;
        return Append(std::move(step), out);
    }

    EngineResult CompileFunction(const ExprNode& node, uint32_t depth, int32_t& out) {
        std::string_view name;
        if (EngineResult r = reader_.Text(node.operand[0], name); r != DS_OK) return r;
        const FunctionName* fn = nullptr;
        for (const FunctionName& candidate : kFunctions) {
            if (AsciiEqualIgnoringCase(name, candidate.name)) fn = &candidate;
        }
        if (fn == nullptr) return DSERR_TYPEMISMATCH;
        std::vector<uint16_t> argNodes;
        if (node.operand[1] != 0) {
            if (EngineResult r = ReadChain(node.operand[1], 3, argNodes); r != DS_OK) return r;
        }
        const bool aggregate = IsAggregateFunction(fn->id);
        if (aggregate) {
            // Aggregates stand only in aggregate expressions, never one
            // inside another.
            if (mode_ != CompileMode::Aggregate || insideAggregate_) return DSERR_NOTCAPABLE;
            insideAggregate_ = true;
        }
        std::vector<int32_t> args;
        EngineResult result = DS_OK;
        for (uint16_t a : argNodes) {
            int32_t arg = kNoOperand;
            if ((result = Compile(a, depth + 1, arg)) != DS_OK) break;
            args.push_back(arg);
        }
        if (aggregate) insideAggregate_ = false;
        if (result != DS_OK) return result;
        QCanExecElem step;
        step.op = static_cast<uint32_t>(fn->id);
        for (size_t i = 0; i < args.size(); ++i) step.operand[i] = args[i];
        result = aggregate ? TypeAggregate(fn->id, args, step) : TypeFunction(fn->id, args, step);
        if (result != DS_OK) return result;
        if (EngineResult r = Append(std::move(step), out); r != DS_OK) return r;
        if (aggregate) filter_.aggregates_.push_back(static_cast<uint32_t>(out));
        return DS_OK;
    }

    EngineResult TypeFunction(FunctionId id, const std::vector<int32_t>& args, QCanExecElem& step) {
        step.code = StepCode::Function;
        auto type = [&](size_t i) { return At(args[i]).type; };
        const size_t n = args.size();
        switch (id) {
            case FunctionId::Upper:
            case FunctionId::Lower:
                if (n != 1 || type(0) != EXPR_T_STRING) return DSERR_TYPEMISMATCH;
                step.type = EXPR_T_STRING;
                step.width = At(args[0]).width;
                return DS_OK;
            case FunctionId::Trim:
            case FunctionId::TrimLeft:
            case FunctionId::TrimRight:
                if (n < 1 || n > 2 || type(0) != EXPR_T_STRING) return DSERR_TYPEMISMATCH;
                if (n == 2 && type(1) != EXPR_T_STRING) return DSERR_TYPEMISMATCH;
                step.type = EXPR_T_STRING;
                step.width = At(args[0]).width;
                return DS_OK;
            case FunctionId::Substring:
                if (n < 2 || type(0) != EXPR_T_STRING || !IsNumeric(type(1))) {
                    return DSERR_TYPEMISMATCH;
                }
                if (n == 3 && !IsNumeric(type(2))) return DSERR_TYPEMISMATCH;
                step.type = EXPR_T_STRING;
                step.width = At(args[0]).width;
                return DS_OK;
            case FunctionId::Year:
            case FunctionId::Month:
            case FunctionId::Day:
                if (n != 1 || (type(0) != EXPR_T_DATE && type(0) != EXPR_T_TIMESTAMP)) {
                    return DSERR_TYPEMISMATCH;
                }
                step.type = EXPR_T_FLOAT;
                step.width = 8;
                return DS_OK;
            case FunctionId::Hour:
            case FunctionId::Minute:
            case FunctionId::Second:
                if (n != 1 || (type(0) != EXPR_T_TIME && type(0) != EXPR_T_TIMESTAMP)) {
                    return DSERR_TYPEMISMATCH;
                }
                step.type = EXPR_T_FLOAT;
                step.width = 8;
                return DS_OK;
            case FunctionId::Date:
                if (n != 1 || (type(0) != EXPR_T_DATE && type(0) != EXPR_T_TIMESTAMP)) {
                    return DSERR_TYPEMISMATCH;
                }
                step.type = EXPR_T_DATE;
                step.width = 4;
                return DS_OK;
            case FunctionId::Time:
                if (n != 1 || (type(0) != EXPR_T_TIME && type(0) != EXPR_T_TIMESTAMP)) {
                    return DSERR_TYPEMISMATCH;
                }
                step.type = EXPR_T_TIME;
                step.width = 4;
                return DS_OK;
            case FunctionId::GetDate:
                if (n != 0) return DSERR_TYPEMISMATCH;
                step.type = EXPR_T_TIMESTAMP;
                step.width = 8;
                return DS_OK;
            default:
                return DSERR_TYPEMISMATCH;
        }
    }

    // Result types of the aggregate functions; their values are produced by
    // the aggregate accumulators, which read the argument step per record.
    EngineResult TypeAggregate(FunctionId id, const std::vector<int32_t>& args,
                               QCanExecElem& step) {
        step.code = StepCode::Aggregate;
        if (id == FunctionId::CountAll) {
            if (!args.empty()) return DSERR_TYPEMISMATCH;
            step.type = EXPR_T_INT32;
            step.width = 4;
            return DS_OK;
        }
        if (args.size() != 1) return DSERR_TYPEMISMATCH;
        const QCanExecElem& arg = At(args[0]);
        const uint32_t t = arg.type;
        switch (id) {
            case FunctionId::Count:
                step.type = EXPR_T_INT32;
                step.width = 4;
                return DS_OK;
            case FunctionId::Sum:
                if (t == EXPR_T_BCD) {
                    step.type = t;
                } else if (t == EXPR_T_INT16 || t == EXPR_T_INT32 || t == EXPR_T_FLOAT) {
                    step.type = EXPR_T_FLOAT;
                } else {
                    return DSERR_TYPEMISMATCH;
                }
                break;
            case FunctionId::Avg:
                if (t == EXPR_T_INT16 || t == EXPR_T_INT32 || t == EXPR_T_FLOAT) {
                    step.type = EXPR_T_FLOAT;
                } else if (t == EXPR_T_TIMESTAMP || t == EXPR_T_BCD || t == EXPR_T_DATE ||
                           t == EXPR_T_TIME) {
                    step.type = t;
                } else {
                    return DSERR_TYPEMISMATCH;
                }
                break;
            case FunctionId::Min:
            case FunctionId::Max:
                if (!OrderingType(t) || t == EXPR_T_BOOL) return DSERR_TYPEMISMATCH;
                step.type = t;
                break;
            default:
                return DSERR_TYPEMISMATCH;
        }
        step.width = step.type == t ? arg.width : FixedWidth(step.type);
        if (step.type == EXPR_T_BCD) {
            step.precision = arg.precision;
            step.scale = arg.scale;
        }
        return DS_OK;
    }

    // Widest string a concatenation may produce.
    static constexpr uint32_t kMaxFieldWidthForExpr = 0x20000;

    QCanFilter& filter_;
    std::vector<QCanExecElem>& steps_;
    const ExprReader& reader_;
    CompileMode mode_;
    const std::vector<FieldDesc>& fields_;
    const platform::Collation& collation_;
    std::vector<bool> onPath_;
    bool insideAggregate_ = false;
    size_t ownedBytes_ = 0;
};

QCanFilter::QCanFilter(TDSBASE* dataset) : dataset_(dataset) {}

QCanFilter::~QCanFilter() = default;

void QCanFilter::set_message(std::string message) {
    if (message.size() > kMaxExprMessage) message.resize(kMaxExprMessage);
    message_ = std::move(message);
}

EngineResult QCanFilter::Compile(const uint8_t* bytes, size_t length, CompileMode mode) {
    steps_.clear();
    aggregates_.clear();
    direct_.reset();
    ExprReader reader;
    if (EngineResult r = reader.Open(bytes, length); r != DS_OK) return r;
    if (reader.empty()) return DS_OK;
    ExprCompiler compiler(*this, reader, mode);
    const EngineResult r = compiler.CompileRoot();
    if (r != DS_OK) {
        steps_.clear();
        aggregates_.clear();
        return r;
    }
    // Owned values are in place now that the step array stops moving.
    for (QCanExecElem& step : steps_) {
        if (!step.own.empty()) step.value = step.own.data();
    }
    if (mode == CompileMode::Filter && aggregates_.empty()) direct_ = DirectPredicate::From(steps_);
    return DS_OK;
}

EngineResult CompileExpressionBlob(uint32_t kind, const uint8_t* bytes, size_t length,
                                   TDSBASE* dataset, uint32_t* field,
                                   std::unique_ptr<QCanFilter>* out, bool* required) {
    if (out == nullptr || dataset == nullptr || kind > 2) return DSERR_INVALIDPARAM;
    if (bytes == nullptr) length = 0;
    std::string message;
    uint32_t fieldNumber = 0;
    bool isRequired = false;
    const uint8_t* expr = bytes;
    size_t exprLength = length;
    constexpr size_t kHeader = 9;
    try {
        if (kind != 0) {
            if (length < kHeader) return DSERR_INVALIDPARAM;
            const uint32_t messageLength = ReadLe32(bytes);
            fieldNumber = ReadLe32(bytes + 4);
            isRequired = bytes[8] != 0;
            if (messageLength > length - kHeader) return DSERR_INVALIDPARAM;
            const char* text = reinterpret_cast<const char*>(bytes + kHeader);
            message.assign(text, strnlen(text, std::min<size_t>(messageLength, kMaxExprMessage)));
            expr = bytes + kHeader + messageLength;
            exprLength = length - kHeader - messageLength;
        }
        auto filter = std::make_unique<QCanFilter>(dataset);
        if (EngineResult r = filter->Compile(expr, exprLength, CompileMode::Filter); r != DS_OK) {
            return r;
        }
        filter->set_message(std::move(message));
        filter->set_field(fieldNumber);
        *out = std::move(filter);
    } catch (const std::bad_alloc&) {
        return DSERR_NOMEMORY;
    }
    if (field != nullptr) *field = fieldNumber;
    if (required != nullptr) *required = isRequired;
    return DS_OK;
}

}  // namespace pelmora
