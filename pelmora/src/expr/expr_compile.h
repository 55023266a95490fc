// Compiled expressions. A canonical expression is compiled once into a flat
// sequence of typed steps (children before their parents), which evaluation
// then runs in order against record buffers in the dataset's layout. Filters,
// constraints, default values and aggregate expressions all use this form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

class TDSBASE;
class DirectPredicate;

// What a step does. Operators keep their canonical operator code in `op`.
enum class StepCode : uint8_t {
    Field,      // reads a field of the record
    Const,      // owns a constant value
    Convert,    // converts operand 0 to this step's type
    IsBlank,    // OP_IS_BLANK
    NotBlank,   // OP_NOT_BLANK
    Not,        // OP_NOT
    And,        // OP_AND
    Or,         // OP_OR
    Compare,    // OP_EQ .. OP_LE
    Arith,      // + - * / on strings (concatenation) and numbers
    DateShift,  // date, time or timestamp plus or minus a number
    DateDiff,   // date - date, timestamp - timestamp, time - time
    Like,       // OP_LIKE
    In,         // OP_IN over `list`
    Assign,     // OP_ASSIGN: the value in the target field's type
    Function,   // a scalar function (`op` holds the FunctionId)
    Aggregate,  // an aggregate function; its value is supplied by the accumulator
};

enum class FunctionId : uint32_t {
    Upper,
    Lower,
    Trim,
    TrimLeft,
    TrimRight,
    Substring,
    Year,
    Month,
    Day,
    Hour,
    Minute,
    Second,
    Date,
    Time,
    GetDate,
    // Aggregates (aggregate compilation only).
    Sum,
    Min,
    Max,
    Avg,
    Count,
    CountAll,
};

// Types a value can take inside an expression (internal field types).
enum : uint32_t {
    EXPR_T_STRING = FLD_STRING,
    EXPR_T_DATE = FLD_DATE,
    EXPR_T_BLOB = FLD_BLOB,
    EXPR_T_BOOL = FLD_BOOL16,
    EXPR_T_INT16 = FLD_INT16,
    EXPR_T_INT32 = FLD_INT32,
    EXPR_T_FLOAT = FLD_FLOAT,
    EXPR_T_BCD = FLD_BCD,
    EXPR_T_BYTES = FLD_BYTES,
    EXPR_T_TIME = FLD_TIME,
    EXPR_T_TIMESTAMP = FLD_TIMESTAMP,
    EXPR_T_UNICODE = FLD_UNICODE,
};

constexpr int32_t kNoOperand = -1;

// One evaluation step.
struct QCanExecElem {
    StepCode code = StepCode::Const;
    uint32_t op = 0;     // operator, or the FunctionId of a function step
    uint32_t type = 0;   // result type
    uint32_t width = 0;  // result width in bytes
    uint32_t precision = 0;
    uint32_t scale = 0;

    // The value: `own` for computed and constant values, or the record's
    // bytes for a field read without conversion. Meaningless when blank.
    std::vector<uint8_t> own;
    const uint8_t* value = nullptr;
    bool blank = true;

    int32_t operand[3] = {kNoOperand, kNoOperand, kNoOperand};

    // Field steps: the field's number, raw type and where it lives in a record.
    uint32_t fieldNumber = 0;
    uint32_t fieldType = 0;
    uint32_t fieldOffset = 0;
    uint32_t fieldIndicator = 0;
    uint32_t fieldWidth = 0;

    // EXPR_COMPARE nodes: ignore case, and the partial length applied to
    // operand `partialSide` (0 left, 1 right).
    bool ignoreCase = false;
    uint32_t partial = 0;
    uint8_t partialSide = 0;

    // OP_IN: the steps holding the list elements.
    std::vector<uint32_t> list;
};

// How an expression is compiled.
enum class CompileMode { Filter, Aggregate };

// A compiled expression.
class QCanFilter {
  public:
    explicit QCanFilter(TDSBASE* dataset);
    ~QCanFilter();
    QCanFilter(const QCanFilter&) = delete;
    QCanFilter& operator=(const QCanFilter&) = delete;

    // Compiles a canonical expression (length 0 = an empty expression, which
    // every record satisfies). 11871 for type errors, unknown operators or
    // field names; 9986 for a malformed expression (offsets outside the
    // bytes, a looping node graph, nesting too deep); 12289 for an aggregate
    // function where none may stand; 9473 when memory runs out.
    EngineResult Compile(const uint8_t* bytes, size_t length, CompileMode mode);

    // True when the last step is a non-blank, non-zero boolean (or there are
    // no steps). The record is a buffer in the dataset's layout at compile
    // time.
    bool Evaluate(const uint8_t* record);

    // Runs the steps and returns the last step's value, or null when it is
    // blank or there are no steps (default values).
    const uint8_t* ResultValue(const uint8_t* record);

    // The result's type and width (0 when there are no steps).
    uint32_t result_type() const { return steps_.empty() ? 0 : steps_.back().type; }
    uint32_t result_width() const { return steps_.empty() ? 0 : steps_.back().width; }

    // Message (constraints; at most 126 characters) and field number.
    const std::string& message() const { return message_; }
    void set_message(std::string message);
    uint32_t field() const { return field_; }
    void set_field(uint32_t field) { field_ = field; }

    TDSBASE* dataset() const { return dataset_; }
    const std::vector<QCanExecElem>& steps() const { return steps_; }
    std::vector<QCanExecElem>& steps() { return steps_; }
    // The direct form of a filter compiled in filter mode, when it has one
    // (see expr_direct.h); null otherwise.
    const DirectPredicate* direct() const { return direct_.get(); }
    // The aggregate steps in compilation order (aggregate mode only).
    const std::vector<uint32_t>& aggregates() const { return aggregates_; }

  private:
    friend class ExprCompiler;
    friend class ExprEvaluator;
    void Run(const uint8_t* record);

    TDSBASE* dataset_;
    std::string message_;
    uint32_t field_ = 0;
    std::vector<QCanExecElem> steps_;
    std::vector<uint32_t> aggregates_;
    std::unique_ptr<DirectPredicate> direct_;
    // Scratch space of LIKE over BLOBs and of Unicode comparisons.
    std::vector<uint8_t> scratch_;
    std::u16string wideA_;
    std::u16string wideB_;
};

// Longest constraint message kept.
constexpr size_t kMaxExprMessage = 126;

// The compile operation of the filter list: kind 0 bytes are a canonical
// expression; kinds 1 and 2 start with the constraint header (message
// length, field number, required flag, message) and carry the expression
// after it. On success *out holds the compiled filter (message and field
// number set), *field the field number and *required the flag; on failure
// nothing is returned.
EngineResult CompileExpressionBlob(uint32_t kind, const uint8_t* bytes, size_t length,
                                   TDSBASE* dataset, uint32_t* field,
                                   std::unique_ptr<QCanFilter>* out, bool* required);

// Evaluation helpers shared with the aggregate code.
// Day number (1 = 1 January of year 1) to year, month and day.
void DayToCivil(int64_t day, int64_t& year, uint32_t& month, uint32_t& dayOfMonth);
constexpr double kMsPerDay = 86400000.0;

}  // namespace pelmora
