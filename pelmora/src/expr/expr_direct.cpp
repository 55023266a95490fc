// Building and running the direct form of a filter. The rules follow the
// step evaluation exactly: a comparison with a blank operand is blank, a
// blank counts as false in and/or/not, and numbers of one type compare by
// value.
#include "expr/expr_direct.h"

#include <cstring>
#include <new>

#include "expr/expr_format.h"
#include "store/record_store.h"

namespace pelmora {

namespace {

bool IntegerType(uint32_t type) {
    return type == EXPR_T_INT16 || type == EXPR_T_INT32 || type == EXPR_T_DATE ||
           type == EXPR_T_TIME;
}

int32_t LoadInteger(const uint8_t* p, bool wide) {
    if (wide) {
        int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

std::unique_ptr<DirectPredicate> DirectPredicate::From(const std::vector<QCanExecElem>& steps) {
    if (steps.empty() || steps.size() > kMaxNodes) return nullptr;
    auto made = std::unique_ptr<DirectPredicate>(new (std::nothrow) DirectPredicate);
    if (!made) return nullptr;
    // Per step: an operand it provides, or the node that computes it.
    std::vector<Operand> operands(steps.size());
    std::vector<int> provides(steps.size(), 0);  // 1 operand, 2 node
    std::vector<uint16_t> nodeOf(steps.size(), 0);
    auto operand = [&](int32_t i, Operand& out) {
        if (i < 0 || static_cast<size_t>(i) >= steps.size() || provides[i] != 1) return false;
        out = operands[i];
        return true;
    };
    auto node = [&](int32_t i, uint16_t& out) {
        if (i < 0 || static_cast<size_t>(i) >= steps.size() || provides[i] != 2) return false;
        out = nodeOf[i];
        return true;
    };
    try {
        for (size_t i = 0; i < steps.size(); ++i) {
            const QCanExecElem& s = steps[i];
            Node n{};
            switch (s.code) {
                case StepCode::Field: {
                    if (s.fieldNumber == 0) return nullptr;
                    Operand o;
                    o.field = s.fieldNumber;
                    o.wide = s.type != EXPR_T_INT16;
                    // Fields read without conversion hold the step's type in
                    // place; any other field can only be tested for blanks.
                    o.integer =
                        s.own.empty() && IntegerType(s.type) && s.fieldWidth >= (o.wide ? 4u : 2u);
                    operands[i] = o;
                    provides[i] = 1;
                    bool known = false;
                    for (const FieldUse& f : made->fields_) known |= f.number == o.field;
                    if (!known) {
                        made->fields_.push_back(
                            {s.fieldNumber, s.fieldOffset, s.fieldIndicator, s.fieldWidth});
                    }
                    continue;
                }
                case StepCode::Const: {
                    if (!IntegerType(s.type)) return nullptr;
                    const size_t need = s.type == EXPR_T_INT16 ? 2 : 4;
                    if (!s.blank && s.own.size() < need) return nullptr;
                    Operand o;
                    o.wide = need == 4;
                    o.integer = true;
                    o.blank = s.blank;
                    if (!s.blank) o.value = LoadInteger(s.own.data(), o.wide);
                    operands[i] = o;
                    provides[i] = 1;
                    continue;
                }
                case StepCode::Compare: {
                    if (!IsComparison(s.op)) return nullptr;
                    const QCanExecElem* x = nullptr;
                    const QCanExecElem* y = nullptr;
                    if (s.operand[0] >= 0 && static_cast<size_t>(s.operand[0]) < steps.size())
                        x = &steps[s.operand[0]];
                    if (s.operand[1] >= 0 && static_cast<size_t>(s.operand[1]) < steps.size())
                        y = &steps[s.operand[1]];
                    if (x == nullptr || y == nullptr || x->type != y->type ||
                        !IntegerType(x->type) || s.operand[2] != kNoOperand)
                        return nullptr;
                    if (!operand(s.operand[0], n.a) || !operand(s.operand[1], n.b)) return nullptr;
                    if (!n.a.integer || !n.b.integer) return nullptr;
                    n.kind = Kind::Compare;
                    n.op = s.op;
                    break;
                }
                case StepCode::IsBlank:
                case StepCode::NotBlank:
                    if (!operand(s.operand[0], n.a) || n.a.field == 0) return nullptr;
                    n.kind = s.code == StepCode::IsBlank ? Kind::IsBlank : Kind::NotBlank;
                    break;
                case StepCode::And:
                case StepCode::Or:
                    if (!node(s.operand[0], n.left) || !node(s.operand[1], n.right)) return nullptr;
                    n.kind = s.code == StepCode::And ? Kind::And : Kind::Or;
                    break;
                case StepCode::Not:
                    if (!node(s.operand[0], n.left)) return nullptr;
                    n.kind = Kind::Not;
                    break;
                default:
                    return nullptr;
            }
            nodeOf[i] = static_cast<uint16_t>(made->nodes_.size());
            provides[i] = 2;
            made->nodes_.push_back(n);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // The last step decides, and it must be one of the nodes.
    if (provides.back() != 2 || nodeOf.back() + 1u != made->nodes_.size()) return nullptr;
    return made;
}

bool DirectPredicate::Passes(const RecordStore& store, uint32_t record) const {
    bool result[kMaxNodes];
    // A field operand's value; false when it is blank.
    auto read = [&](const Operand& o, int32_t& v) {
        if (o.field == 0) {
            v = o.value;
            return !o.blank;
        }
        if (store.IndicatorAt(record, o.field) != IND_VALUE) return false;
        v = LoadInteger(store.ValueAt(record, o.field), o.wide);
        return true;
    };
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const Node& n = nodes_[i];
        bool r = false;
        switch (n.kind) {
            case Kind::Compare: {
                int32_t x = 0;
                int32_t y = 0;
                if (!read(n.a, x) || !read(n.b, y)) break;
                switch (n.op) {
                    case OP_EQ:
                        r = x == y;
                        break;
                    case OP_NE:
                        r = x != y;
                        break;
                    case OP_GT:
                        r = x > y;
                        break;
                    case OP_LT:
                        r = x < y;
                        break;
                    case OP_GE:
                        r = x >= y;
                        break;
                    default:
                        r = x <= y;
                        break;
                }
                break;
            }
            case Kind::IsBlank:
                r = store.IndicatorAt(record, n.a.field) != IND_VALUE;
                break;
            case Kind::NotBlank:
                r = store.IndicatorAt(record, n.a.field) == IND_VALUE;
                break;
            case Kind::And:
                r = result[n.left] && result[n.right];
                break;
            case Kind::Or:
                r = result[n.left] || result[n.right];
                break;
            case Kind::Not:
                r = !result[n.left];
                break;
        }
        result[i] = r;
    }
    return result[nodes_.size() - 1];
}

}  // namespace pelmora
