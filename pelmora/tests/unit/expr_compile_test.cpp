// Compiling canonical expressions: type rules, field lookup, functions and
// aggregates, the constraint header, and malformed bytes (offsets outside
// the expression, looping node graphs, endless nesting), which must be
// refused without reading past the bytes given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "expr/expr_format.h"
#include "expr_test_table.h"

namespace pelmora {
namespace {

using namespace exprbuild;
using B = ExprBuilder;

class ExprCompile : public ::testing::Test {
  protected:
    ExprTable t;
    EngineResult Binary(uint32_t op, const char* left, B::Node (*right)(B&)) {
        B b;
        const auto r = right(b);
        return t.CompileCode(b.Build(b.Binary(op, b.Field(left), r)));
    }
};

TEST_F(ExprCompile, TypeRulesOfOperators) {
    auto str = [](B& b) { return b.String("x"); };
    auto i32 = [](B& b) { return b.Int32(1); };
    auto flt = [](B& b) { return b.Float(1); };
    EXPECT_EQ(Binary(OP_EQ, "AMOUNT", str), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_ADD, "NAME", i32), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_AND, "AMOUNT", i32), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_LIKE, "AMOUNT", str), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_MUL, "NAME", str), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_LT, "RAW",
                     [](B& b) {
                         return b.Raw({1, 2, 3, 4}, tBytes);
                     }),
              DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_EQ, "RAW", [](B& b) { return b.Raw({1, 2, 3, 4}, tBytes); }), DS_OK);
    EXPECT_EQ(Binary(OP_EQ, "MEMO", str), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_LIKE, "MEMO", str), DS_OK);
    EXPECT_EQ(Binary(OP_ADD, "DAY", flt), DS_OK);
    EXPECT_EQ(Binary(OP_MUL, "DAY", flt), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_EQ, "DAY", [](B& b) { return b.Time(5); }), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_EQ, "FLAG", str), DS_OK);
    EXPECT_EQ(Binary(OP_LT, "FLAG", str), DSERR_TYPEMISMATCH);
    EXPECT_EQ(Binary(OP_GE, "COST", i32), DS_OK);

    // The blank tests take any type; NOT only booleans.
    B blank;
    EXPECT_EQ(t.CompileCode(blank.Build(blank.Unary(OP_IS_BLANK, blank.Field("ADDR")))), DS_OK);
    B notInt;
    EXPECT_EQ(t.CompileCode(notInt.Build(notInt.Unary(OP_NOT, notInt.Field("AMOUNT")))),
              DSERR_TYPEMISMATCH);
    // The result type of a sum drives the next operator.
    B chain;
    const auto sum = chain.Binary(OP_ADD, chain.Field("QTY"), chain.Field("AMOUNT"));
    EXPECT_EQ(t.CompileCode(chain.Build(chain.Binary(OP_LIKE, sum, chain.String("1")))),
              DSERR_TYPEMISMATCH);
    std::unique_ptr<QCanFilter> f;
    B typed;
    ASSERT_EQ(
        t.Compile(typed.Build(typed.Binary(OP_ADD, typed.Field("QTY"), typed.Field("AMOUNT"))), &f),
        DS_OK);
    EXPECT_EQ(f->result_type(), uint32_t{FLD_FLOAT});
    B cat;
    ASSERT_EQ(t.Compile(cat.Build(cat.Binary(OP_ADD, cat.Field("NAME"), cat.Field("CODE"))), &f),
              DS_OK);
    EXPECT_EQ(f->result_type(), uint32_t{FLD_STRING});
    EXPECT_EQ(f->result_width(), 21u + 11u);
}

TEST_F(ExprCompile, FieldNamesAndFunctions) {
    B unknown;
    EXPECT_EQ(t.CompileCode(unknown.Build(unknown.Unary(OP_IS_BLANK, unknown.Field("NOPE")))),
              DSERR_TYPEMISMATCH);
    B caseless;
    EXPECT_EQ(t.CompileCode(caseless.Build(caseless.Unary(OP_IS_BLANK, caseless.Field("aMoUnT")))),
              DS_OK);
    B wrongParent;
    EXPECT_EQ(t.CompileCode(wrongParent.Build(
                  wrongParent.Unary(OP_IS_BLANK, wrongParent.Field("NAME.CITY")))),
              DSERR_TYPEMISMATCH);

    auto fn = [&](const char* name, std::vector<B::Node (*)(B&)> args) {
        B b;
        std::vector<B::Node> nodes;
        for (auto a : args) nodes.push_back(a(b));
        return t.CompileCode(b.Build(b.Unary(OP_IS_BLANK, b.Function(name, nodes))));
    };
    auto str = [](B& b) { return b.Field("NAME"); };
    auto num = [](B& b) { return b.Int32(1); };
    auto day = [](B& b) { return b.Field("DAY"); };
    EXPECT_EQ(fn("UPPER", {str}), DS_OK);
    EXPECT_EQ(fn("upper", {num}), DSERR_TYPEMISMATCH);
    EXPECT_EQ(fn("upper", {str, str}), DSERR_TYPEMISMATCH);
    EXPECT_EQ(fn("substring", {str, num, num}), DS_OK);
    EXPECT_EQ(fn("substring", {str, num, num, num}), DSERR_TYPEMISMATCH);
    EXPECT_EQ(fn("substring", {str}), DSERR_TYPEMISMATCH);
    EXPECT_EQ(fn("year", {day}), DS_OK);
    EXPECT_EQ(fn("hour", {day}), DSERR_TYPEMISMATCH);
    EXPECT_EQ(fn("getdate", {}), DS_OK);
    EXPECT_EQ(fn("nosuch", {str}), DSERR_TYPEMISMATCH);
    // Aggregates are not allowed in a filter.
    EXPECT_EQ(fn("sum", {num}), DSERR_NOTCAPABLE);
    EXPECT_EQ(fn("count(*)", {}), DSERR_NOTCAPABLE);
}

TEST_F(ExprCompile, AggregatesCompileOnlyInAggregateModeAndNeverNested) {
    B sum;
    const auto s = sum.Function("Sum", {sum.Field("AMOUNT")});
    std::unique_ptr<QCanFilter> f;
    ASSERT_EQ(t.Compile(sum.Build(s), &f, CompileMode::Aggregate), DS_OK);
    EXPECT_EQ(f->result_type(), uint32_t{FLD_FLOAT});
    ASSERT_EQ(f->aggregates().size(), 1u);

    // sum / count(*) combines two aggregates.
    B avg;
    const auto ratio =
        avg.Binary(OP_DIV, avg.Function("sum", {avg.Field("PRICE")}), avg.Function("count(*)", {}));
    ASSERT_EQ(t.Compile(avg.Build(ratio), &f, CompileMode::Aggregate), DS_OK);
    EXPECT_EQ(f->aggregates().size(), 2u);

    B nested;
    const auto inner = nested.Function("max", {nested.Field("AMOUNT")});
    EXPECT_EQ(t.CompileCode(nested.Build(nested.Function("sum", {inner})), CompileMode::Aggregate),
              DSERR_NOTCAPABLE);
    B minStr;
    ASSERT_EQ(t.Compile(minStr.Build(minStr.Function("min", {minStr.Field("NAME")})), &f,
                        CompileMode::Aggregate),
              DS_OK);
    EXPECT_EQ(f->result_width(), 21u);
    B badSum;
    EXPECT_EQ(t.CompileCode(badSum.Build(badSum.Function("sum", {badSum.Field("NAME")})),
                            CompileMode::Aggregate),
              DSERR_TYPEMISMATCH);
}

TEST_F(ExprCompile, MalformedBytesAreRefused) {
    B b;
    const auto root = b.Binary(OP_AND, b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(3)),
                               b.Binary(OP_EQ, b.Field("NAME"), b.String("abc")));
    const std::vector<uint8_t> good = b.Build(root);
    ASSERT_EQ(t.CompileCode(good), DS_OK);

    // Every shorter prefix is refused (the literal area no longer fits).
    for (size_t n = 1; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
        EXPECT_NE(t.CompileCode(cut), DS_OK) << n;
    }
    // Area offsets past the end.
    auto bad = good;
    bad[6] = 0xFF;
    bad[7] = 0x7F;
    EXPECT_EQ(t.CompileCode(bad), DSERR_INVALIDPARAM);
    // An operand pointing past the node area, and a literal offset past the end.
    bad = good;
    bad[10 + 8] = 0xF0;
    bad[10 + 9] = 0xFF;
    EXPECT_EQ(t.CompileCode(bad), DSERR_INVALIDPARAM);
    B lit;
    lit.RawNode(EXPR_FIELD, OP_FIELD, {0, 0xFFF0});
    EXPECT_EQ(t.CompileCode(lit.Build(0)), DSERR_INVALIDPARAM);
    // A field name without its NUL inside the bytes.
    B name;
    const auto field = name.Field("AMOUNT");
    auto noNul = name.Build(name.Unary(OP_IS_BLANK, field));
    noNul.pop_back();
    EXPECT_EQ(t.CompileCode(noNul), DSERR_INVALIDPARAM);
    // A constant whose size runs past the literal area.
    B big;
    big.RawNode(EXPR_CONST, OP_CONST, {tInt32, 0xFFFF, 0});
    EXPECT_EQ(t.CompileCode(big.Build(0)), DSERR_INVALIDPARAM);
    // A constant too short for its type, and an unknown operator.
    B shortConst;
    int16_t two = 2;
    const auto c = shortConst.Const(tFloat, &two, 2);
    EXPECT_EQ(t.CompileCode(shortConst.Build(shortConst.Unary(OP_IS_BLANK, c))),
              DSERR_INVALIDPARAM);
    B unknownOp;
    unknownOp.RawNode(EXPR_BINARY, 22, {0, 0});
    EXPECT_EQ(t.CompileCode(unknownOp.Build(0)), DSERR_TYPEMISMATCH);
    // A list item or array standing on its own.
    B lone;
    EXPECT_EQ(t.CompileCode(lone.Build(lone.List({lone.Int32(1)}))), DSERR_TYPEMISMATCH);
}

TEST_F(ExprCompile, LoopingAndDeepGraphsAreRefused) {
    // NOT whose operand is itself (the root at offset 0).
    B self;
    self.RawNode(EXPR_UNARY, OP_NOT, {0});
    EXPECT_EQ(t.CompileCode(self.Build(0)), DSERR_INVALIDPARAM);

    // AND whose right operand loops back to the root through a child.
    B cycle;
    const auto root = cycle.RawNode(EXPR_BINARY, OP_AND, {0, 0});
    auto bytes = cycle.Build(root);
    // left: a NOT at the end of the node area that points back to the root.
    const uint16_t notAt = static_cast<uint16_t>(bytes.size() - 10);
    bytes.resize(bytes.size() + 10);
    const uint32_t kindOp[2] = {EXPR_UNARY, OP_NOT};
    std::memcpy(bytes.data() + notAt + 10, kindOp, 8);
    bytes[notAt + 18] = 0;
    bytes[notAt + 19] = 0;
    bytes[10 + 8] = static_cast<uint8_t>(notAt);
    bytes[10 + 9] = static_cast<uint8_t>(notAt >> 8);
    bytes[8] = static_cast<uint8_t>(bytes.size());  // literal area: empty, at the end
    bytes[9] = static_cast<uint8_t>(bytes.size() >> 8);
    EXPECT_EQ(t.CompileCode(bytes), DSERR_INVALIDPARAM);

    // An IN list whose chain loops on itself.
    B in;
    const auto left = in.Field("AMOUNT");
    const auto item = in.RawNode(EXPR_LIST_ITEM, OP_LIST_ITEM, {0, 0});
    const auto inRoot = in.Binary(OP_IN, left, item);
    auto inBytes = in.Build(inRoot);
    // Patch the item: its value is the field, its next item itself.
    ExprReader reader;
    ASSERT_EQ(reader.Open(inBytes.data(), inBytes.size()), DS_OK);
    ExprNode rootNode;
    ASSERT_EQ(reader.Node(0, rootNode), DS_OK);
    const uint16_t itemAt = rootNode.operand[1];
    const uint16_t fieldAt = rootNode.operand[0];
    auto put16 = [&](size_t at, uint16_t v) {
        inBytes[at] = static_cast<uint8_t>(v);
        inBytes[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(10 + itemAt + 8, fieldAt);
    put16(10 + itemAt + 10, itemAt);
    EXPECT_EQ(t.CompileCode(inBytes), DSERR_INVALIDPARAM);

    // Nesting far deeper than any real expression.
    B deep;
    auto node = deep.Field("FLAG");
    for (int i = 0; i < 2000; ++i) node = deep.Unary(OP_NOT, node);
    EXPECT_EQ(t.CompileCode(deep.Build(node)), DSERR_INVALIDPARAM);
    // A shallow one is fine.
    B shallow;
    auto n2 = shallow.Field("FLAG");
    for (int i = 0; i < 100; ++i) n2 = shallow.Unary(OP_NOT, n2);
    EXPECT_EQ(t.CompileCode(shallow.Build(n2)), DS_OK);

    // A node shared by both sides at every level (2^40 paths) is cut off by
    // the step limit instead of running for ever.
    B dag;
    auto shared = dag.Field("FLAG");
    for (int i = 0; i < 40; ++i) shared = dag.Binary(OP_AND, shared, shared);
    EXPECT_EQ(t.CompileCode(dag.Build(shared)), DSERR_INVALIDPARAM);
}

std::vector<uint8_t> ConstraintBlob(const std::string& message, uint32_t field, bool required,
                                    const std::vector<uint8_t>& expression) {
    const uint32_t n = static_cast<uint32_t>(message.size());
    std::vector<uint8_t> blob(9 + message.size() + expression.size());
    std::memcpy(blob.data(), &n, 4);
    std::memcpy(blob.data() + 4, &field, 4);
    blob[8] = required ? 1 : 0;
    std::copy(message.begin(), message.end(), blob.begin() + 9);
    std::copy(expression.begin(), expression.end(),
              blob.begin() + 9 + static_cast<ptrdiff_t>(message.size()));
    return blob;
}

TEST_F(ExprCompile, ConstraintHeader) {
    B b;
    const auto expr = b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(0)));
    const std::string longMessage(200, 'm');
    const auto blob = ConstraintBlob(longMessage, 2, true, expr);
    std::unique_ptr<QCanFilter> f;
    uint32_t field = 0;
    bool required = false;
    ASSERT_EQ(CompileExpressionBlob(1, blob.data(), blob.size(), t.ds(), &field, &f, &required),
              DS_OK);
    EXPECT_EQ(field, 2u);
    EXPECT_TRUE(required);
    EXPECT_EQ(f->message(), std::string(kMaxExprMessage, 'm'));
    auto row = t.Blank();
    EXPECT_FALSE(f->Evaluate(row.data()));
    t.SetValue<int32_t>(row, "AMOUNT", 4);
    EXPECT_TRUE(f->Evaluate(row.data()));

    // A message length that runs past the blob, or a blob shorter than its
    // header, is refused and returns no filter.
    auto liar = blob;
    const uint32_t huge = 0xFFFFFFF0u;
    std::memcpy(liar.data(), &huge, 4);
    f.reset();
    EXPECT_EQ(CompileExpressionBlob(1, liar.data(), liar.size(), t.ds(), &field, &f, &required),
              DSERR_INVALIDPARAM);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(CompileExpressionBlob(2, blob.data(), 5, t.ds(), &field, &f, &required),
              DSERR_INVALIDPARAM);
    // A required flag without an expression: nothing to evaluate, accepted.
    const auto onlyRequired = ConstraintBlob("needed", 1, true, {});
    ASSERT_EQ(CompileExpressionBlob(1, onlyRequired.data(), onlyRequired.size(), t.ds(), &field, &f,
                                    &required),
              DS_OK);
    EXPECT_TRUE(f->Evaluate(t.Blank().data()));
    EXPECT_EQ(f->message(), "needed");
}

}  // namespace
}  // namespace pelmora
