// Evaluating compiled expressions: the steps run in order over one record
// buffer. Blank operands make blank results (except in the blank tests and
// the logic operators, where a blank counts as false); arithmetic problems
// (overflow, division by zero, values that do not convert) give blanks
// rather than failures.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "expr/expr_format.h"
#include "expr/like_pattern.h"
#include "platform/codepage.h"
#include "platform/collation.h"
#include "store/bcd.h"
#include "store/blob_table.h"
#include "store/unaligned.h"

namespace pelmora {

namespace {

template <class T>
void Put(QCanExecElem& s, T v) {
    std::memcpy(s.own.data(), &v, sizeof v);
    s.value = s.own.data();
    s.blank = false;
}

void SetBool(QCanExecElem& s, bool v) {
    Put<int16_t>(s, v ? 1 : 0);
}

void SetBlank(QCanExecElem& s) {
    s.blank = true;
}

size_t StringLength(const QCanExecElem& s) {
    return strnlen(reinterpret_cast<const char*>(s.value), s.width);
}

// Byte count of a Unicode value, kept inside its width and even.
size_t WideBytes(const QCanExecElem& s) {
    if (s.width < 2) return 0;
    size_t n = Load<uint16_t>(s.value);
    if (n > s.width - 2) n = s.width - 2;
    return n & ~size_t{1};
}

void Widen(const QCanExecElem& s, std::u16string& out) {
    const size_t bytes = WideBytes(s);
    out.resize(bytes / 2);
    if (bytes != 0) std::memcpy(out.data(), s.value + 2, bytes);
}

// A numeric value as a double; false for a packed decimal that does not
// convert.
bool NumberOf(const QCanExecElem& s, double& out) {
    switch (s.type) {
        case EXPR_T_INT16:
            out = Load<int16_t>(s.value);
            return true;
        case EXPR_T_INT32:
        case EXPR_T_DATE:
        case EXPR_T_TIME:
            out = Load<int32_t>(s.value);
            return true;
        case EXPR_T_FLOAT:
        case EXPR_T_TIMESTAMP:
            out = Load<double>(s.value);
            return true;
        case EXPR_T_BCD: {
            long double v = 0;
            if (BcdToFloat(s.value, s.width, v) != 0) return false;
            out = static_cast<double>(v);
            return true;
        }
        default:
            return false;
    }
}

// Integer results outside the type's range are blank.
void PutInteger(QCanExecElem& s, int64_t v) {
    if (s.type == EXPR_T_INT16) {
        if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) {
            return SetBlank(s);
        }
        return Put<int16_t>(s, static_cast<int16_t>(v));
    }
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
        return SetBlank(s);
    }
    Put<int32_t>(s, static_cast<int32_t>(v));
}

// A double truncated toward zero into an integer type; blank when it does
// not fit (or is not a number).
void PutTruncated(QCanExecElem& s, double v) {
    if (!std::isfinite(v) || std::fabs(v) > 4e18) return SetBlank(s);
    PutInteger(s, static_cast<int64_t>(std::trunc(v)));
}

bool FitsInt32(double v) {
    return std::isfinite(v) && v >= std::numeric_limits<int32_t>::min() &&
           v <= std::numeric_limits<int32_t>::max();
}

double MsOfDay(double timestamp) {
    double ms = std::fmod(timestamp, kMsPerDay);
    if (ms < 0) ms += kMsPerDay;
    return ms;
}

int64_t DaysFromCivil(int64_t y, uint32_t m, uint32_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Day 1 is 1 January of year 1; the civil algorithms count from 1970.
constexpr int64_t kDayOfEpoch = 719163;

bool IsTrueText(const QCanExecElem& s) {
    const char* text = reinterpret_cast<const char*>(s.value);
    const size_t n = StringLength(s);
    if (n != 4) return false;
    const char* want = "TRUE";
    for (size_t i = 0; i < 4; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != want[i]) return false;
    }
    return true;
}

bool BoolValue(const QCanExecElem& s) {
    return s.type == EXPR_T_STRING ? IsTrueText(s) : Load<int16_t>(s.value) != 0;
}

bool Truthy(const QCanExecElem& s) {
    return !s.blank && s.type == EXPR_T_BOOL && Load<int16_t>(s.value) != 0;
}

}  // namespace

void DayToCivil(int64_t day, int64_t& year, uint32_t& month, uint32_t& dayOfMonth) {
    const int64_t z = day - kDayOfEpoch + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    dayOfMonth = static_cast<uint32_t>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<uint32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2);
}

// Runs the steps of one filter over one record.
class ExprEvaluator {
  public:
    ExprEvaluator(QCanFilter& filter, const uint8_t* record)
        : f_(filter),
          steps_(filter.steps_),
          record_(record),
          collation_(filter.dataset_->collation()) {}

    void Run() {
        for (QCanExecElem& s : steps_) Step(s);
    }

  private:
    QCanExecElem& Op(const QCanExecElem& s, int i) {
        return steps_[static_cast<size_t>(s.operand[i])];
    }
    bool HasOp(const QCanExecElem& s, int i) const { return s.operand[i] != kNoOperand; }

    void Step(QCanExecElem& s) {
        switch (s.code) {
            case StepCode::Field:
                return ReadField(s);
            case StepCode::Const:
            case StepCode::Aggregate:
                return;
            case StepCode::IsBlank:
                return SetBool(s, Op(s, 0).blank);
            case StepCode::Not:
                return SetBool(s, !Truthy(Op(s, 0)));
            case StepCode::And:
                return SetBool(s, Truthy(Op(s, 0)) && Truthy(Op(s, 1)));
            case StepCode::Or:
                return SetBool(s, Truthy(Op(s, 0)) || Truthy(Op(s, 1)));
            case StepCode::Assign:
                if (Op(s, 0).blank) return SetBlank(s);
                return Assign(s);
            default:
                break;
        }
        // Every other step is blank when one of its operands is.
        for (int i = 0; i < 3; ++i) {
            if (HasOp(s, i) && Op(s, i).blank) return SetBlank(s);
        }
        switch (s.code) {
            case StepCode::NotBlank:
                return SetBool(s, true);
            case StepCode::Convert:
                return Convert(s);
            case StepCode::Compare:
                return SetBool(s, Compare(s));
            case StepCode::Arith:
                return Arith(s);
            case StepCode::DateShift:
                return DateShift(s);
            case StepCode::DateDiff:
                return DateDiff(s);
            case StepCode::Like:
                return Like(s);
            case StepCode::In:
                return In(s);
            case StepCode::Function:
                return Function(s);
            default:
                return SetBlank(s);
        }
    }

    void ReadField(QCanExecElem& s) {
        s.blank = record_[s.fieldIndicator] != IND_VALUE;
        const uint8_t* raw = record_ + s.fieldOffset;
        if (s.own.empty()) {
            s.value = raw;
            return;
        }
        if (s.blank) return;
        switch (s.fieldType) {
            case FLD_INT8:
                return Put<int16_t>(s, static_cast<int8_t>(raw[0]));
            case FLD_UINT8:
                return Put<int16_t>(s, raw[0]);
            case FLD_BOOL8:
                return Put<int16_t>(s, raw[0] != 0 ? 1 : 0);
            case FLD_BOOL32:
                return Put<int16_t>(s, Load<uint32_t>(raw) != 0 ? 1 : 0);
            case FLD_INT64:
                return Put<double>(s, static_cast<double>(Load<int64_t>(raw)));
            case FLD_UINT64:
                return Put<double>(s, static_cast<double>(Load<uint64_t>(raw)));
            default:
                return SetBlank(s);
        }
    }

    void Convert(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        double v = 0;
        switch (s.type) {
            case EXPR_T_FLOAT:
                if (!NumberOf(a, v)) return SetBlank(s);
                return Put<double>(s, v);
            case EXPR_T_INT16:
            case EXPR_T_INT32:
                if (!NumberOf(a, v)) return SetBlank(s);
                return PutTruncated(s, v);
            case EXPR_T_BCD: {
                if (a.type == EXPR_T_BCD) {
                    if (RescaleBcd(a.value, a.width, s.own.data(), s.own.size(), s.precision,
                                   s.scale) != DS_OK) {
                        return SetBlank(s);
                    }
                    s.value = s.own.data();
                    s.blank = false;
                    return;
                }
                if (!NumberOf(a, v) || !std::isfinite(v)) return SetBlank(s);
                const long double cut = TruncatedDecimal(v, s.scale);
                uint8_t bcd[kBcdMaxBytes] = {};
                if (FloatToBcd(cut, s.precision, s.scale, bcd) != 0) return SetBlank(s);
                std::memcpy(s.own.data(), bcd, std::min<size_t>(s.own.size(), sizeof bcd));
                s.value = s.own.data();
                s.blank = false;
                return;
            }
            case EXPR_T_TIMESTAMP:
                if (!NumberOf(a, v)) return SetBlank(s);
                return Put<double>(s, a.type == EXPR_T_DATE ? v * kMsPerDay : v);
            case EXPR_T_DATE: {
                if (!NumberOf(a, v)) return SetBlank(s);
                const double day = std::floor(v / kMsPerDay);
                if (!FitsInt32(day)) return SetBlank(s);
                return Put<int32_t>(s, static_cast<int32_t>(day));
            }
            case EXPR_T_TIME:
                if (!NumberOf(a, v) || !std::isfinite(v)) return SetBlank(s);
                return Put<int32_t>(s, static_cast<int32_t>(MsOfDay(v)));
            case EXPR_T_UNICODE: {
                const size_t n = std::min(StringLength(a), (s.own.size() - 2) / 2);
                const uint16_t bytes = static_cast<uint16_t>(2 * n);
                std::memcpy(s.own.data(), &bytes, 2);
                for (size_t i = 0; i < n; ++i) {
                    const char16_t c = a.value[i];
                    std::memcpy(s.own.data() + 2 + 2 * i, &c, 2);
                }
                s.value = s.own.data();
                s.blank = false;
                return;
            }
            default:
                return SetBlank(s);
        }
    }

    // Three-way comparison of two operands of one type.
    int Order(const QCanExecElem& s, const QCanExecElem& a, const QCanExecElem& b) {
        switch (a.type) {
            case EXPR_T_STRING: {
                ptrdiff_t la = static_cast<ptrdiff_t>(StringLength(a));
                ptrdiff_t lb = static_cast<ptrdiff_t>(StringLength(b));
                if (s.partial != 0 && (s.op == OP_EQ || s.op == OP_NE)) {
                    ptrdiff_t& cut = s.partialSide == 0 ? la : lb;
                    cut = std::min<ptrdiff_t>(cut, s.partial);
                }
                return collation_.Compare(reinterpret_cast<const char*>(a.value), la,
                                          reinterpret_cast<const char*>(b.value), lb, s.ignoreCase);
            }
            case EXPR_T_UNICODE:
                Widen(a, f_.wideA_);
                Widen(b, f_.wideB_);
                return collation_.CompareUtf16(f_.wideA_.data(), f_.wideA_.size(), f_.wideB_.data(),
                                               f_.wideB_.size(), s.ignoreCase);
            case EXPR_T_BOOL: {
                const int x = Load<int16_t>(a.value) != 0;
                const int y = Load<int16_t>(b.value) != 0;
                return x - y;
            }
            case EXPR_T_BYTES: {
                const int c = std::memcmp(a.value, b.value, std::min(a.width, b.width));
                if (c != 0) return c < 0 ? -1 : 1;
                return a.width < b.width ? -1 : (a.width > b.width ? 1 : 0);
            }
            default: {
                double x = 0;
                double y = 0;
                NumberOf(a, x);
                NumberOf(b, y);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
        }
    }

    bool Compare(const QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        const QCanExecElem& b = Op(s, 1);
        if (a.type != b.type) {
            // A boolean against a string: the string is true when it reads TRUE.
            const bool x = BoolValue(a);
            const bool y = BoolValue(b);
            return s.op == OP_EQ ? x == y : x != y;
        }
        if (a.type == EXPR_T_FLOAT || a.type == EXPR_T_TIMESTAMP) {
            const double x = Load<double>(a.value);
            const double y = Load<double>(b.value);
            // Equality tolerates the last bits; inequality is its exact
            // negation, so no value passes both.
            const bool equal = x == y || std::fabs(x - y) < 1e-15;
            switch (s.op) {
                case OP_EQ:
                    return equal;
                case OP_NE:
                    return !equal;
                case OP_GT:
                    return x > y;
                case OP_LT:
                    return x < y;
                case OP_GE:
                    return x >= y;
                default:
                    return x <= y;
            }
        }
        const int c = Order(s, a, b);
        switch (s.op) {
            case OP_EQ:
                return c == 0;
            case OP_NE:
                return c != 0;
            case OP_GT:
                return c > 0;
            case OP_LT:
                return c < 0;
            case OP_GE:
                return c >= 0;
            default:
                return c <= 0;
        }
    }

    void Arith(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        const QCanExecElem& b = Op(s, 1);
        if (s.type == EXPR_T_STRING) {
            const size_t room = s.width - 1;
            const size_t la = std::min(StringLength(a), room);
            const size_t lb = std::min(StringLength(b), room - la);
            std::memcpy(s.own.data(), a.value, la);
            std::memcpy(s.own.data() + la, b.value, lb);
            s.own[la + lb] = 0;
            s.value = s.own.data();
            s.blank = false;
            return;
        }
        if (s.type == EXPR_T_FLOAT) {
            const double x = Load<double>(a.value);
            const double y = Load<double>(b.value);
            switch (s.op) {
                case OP_ADD:
                    return Put<double>(s, x + y);
                case OP_SUB:
                    return Put<double>(s, x - y);
                case OP_MUL:
                    return Put<double>(s, x * y);
                default:
                    if (y == 0) return SetBlank(s);
                    return Put<double>(s, x / y);
            }
        }
        const int64_t x = s.type == EXPR_T_INT16 ? Load<int16_t>(a.value) : Load<int32_t>(a.value);
        const int64_t y = s.type == EXPR_T_INT16 ? Load<int16_t>(b.value) : Load<int32_t>(b.value);
        switch (s.op) {
            case OP_ADD:
                return PutInteger(s, x + y);
            case OP_SUB:
                return PutInteger(s, x - y);
            case OP_MUL:
                return PutInteger(s, x * y);
            default:
                if (y == 0) return SetBlank(s);
                return PutInteger(s, x / y);
        }
    }

    void DateShift(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        double n = 0;
        if (!NumberOf(Op(s, 1), n) || !std::isfinite(n)) return SetBlank(s);
        if (s.op == OP_SUB) n = -n;
        switch (s.type) {
            case EXPR_T_DATE: {
                const double day = Load<int32_t>(a.value) + std::trunc(n);
                if (!FitsInt32(day)) return SetBlank(s);
                return Put<int32_t>(s, static_cast<int32_t>(day));
            }
            case EXPR_T_TIMESTAMP:
                return Put<double>(s, Load<double>(a.value) + n * kMsPerDay);
            default: {
                const double ms = std::trunc(Load<int32_t>(a.value) + n * 3600000.0);
                if (!FitsInt32(ms)) return SetBlank(s);
                return Put<int32_t>(s, static_cast<int32_t>(ms));
            }
        }
    }

    void DateDiff(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        const QCanExecElem& b = Op(s, 1);
        switch (a.type) {
            case EXPR_T_DATE:
                return Put<double>(s, static_cast<double>(int64_t{Load<int32_t>(a.value)} -
                                                          Load<int32_t>(b.value)));
            case EXPR_T_TIMESTAMP:
                return Put<double>(s, (Load<double>(a.value) - Load<double>(b.value)) / kMsPerDay);
            default:
                return PutInteger(s, int64_t{Load<int32_t>(a.value)} - Load<int32_t>(b.value));
        }
    }

    void Like(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        const QCanExecElem& b = Op(s, 1);
        const char* text = reinterpret_cast<const char*>(a.value);
        size_t length = 0;
        if (a.type == EXPR_T_BLOB) {
            BlobTable* blobs = f_.dataset_->blobs();
            const uint32_t ref = Load<uint32_t>(a.value);
            uint32_t n = 0;
            if (blobs == nullptr || blobs->Length(ref, n) != DS_OK) return SetBlank(s);
            try {
                f_.scratch_.resize(n);
            } catch (const std::bad_alloc&) {
                return SetBlank(s);
            }
            uint32_t got = n;
            if (n != 0 && blobs->Read(ref, 0, f_.scratch_.data(), got) != DS_OK) {
                return SetBlank(s);
            }
            text = reinterpret_cast<const char*>(f_.scratch_.data());
            length = std::min(got, n);
        } else {
            length = StringLength(a);
        }
        QPattern pattern;
        try {
            pattern.Compile(reinterpret_cast<const char*>(b.value), StringLength(b));
        } catch (const std::bad_alloc&) {
            return SetBlank(s);
        }
        SetBool(s, pattern.Match(text, length, s.ignoreCase, collation_));
    }

    bool SameElement(const QCanExecElem& a, const QCanExecElem& b) {
        switch (a.type) {
            case EXPR_T_STRING:
                return collation_.Compare(reinterpret_cast<const char*>(a.value),
                                          static_cast<ptrdiff_t>(StringLength(a)),
                                          reinterpret_cast<const char*>(b.value),
                                          static_cast<ptrdiff_t>(StringLength(b)), false) == 0;
            case EXPR_T_FLOAT:
            case EXPR_T_TIMESTAMP:
                return Load<double>(a.value) == Load<double>(b.value);
            case EXPR_T_BOOL:
                return (Load<int16_t>(a.value) != 0) == (Load<int16_t>(b.value) != 0);
            case EXPR_T_UNICODE: {
                const size_t n = WideBytes(a);
                return n == WideBytes(b) && std::memcmp(a.value + 2, b.value + 2, n) == 0;
            }
            default:
                return a.width == b.width && std::memcmp(a.value, b.value, a.width) == 0;
        }
    }

    void In(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        for (uint32_t i : s.list) {
            const QCanExecElem& item = steps_[i];
            if (!item.blank && SameElement(a, item)) return SetBool(s, true);
        }
        SetBool(s, false);
    }

    void Assign(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        uint8_t* out = s.own.data();
        std::memset(out, 0, s.own.size());
        switch (s.type) {
            case EXPR_T_STRING: {
                const size_t n = std::min(StringLength(a), size_t{s.width} - 1);
                std::memcpy(out, a.value, n);
                break;
            }
            case EXPR_T_UNICODE: {
                const uint16_t n =
                    static_cast<uint16_t>(std::min(WideBytes(a), size_t{s.width} - 2) & ~size_t{1});
                std::memcpy(out, &n, 2);
                std::memcpy(out + 2, a.value + 2, n);
                break;
            }
            default:
                std::memcpy(out, a.value, std::min(a.width, s.width));
                break;
        }
        s.value = out;
        s.blank = false;
    }

    // ---- functions ----------------------------------------------------------
    void Function(QCanExecElem& s) {
        const QCanExecElem& a = Op(s, 0);
        switch (static_cast<FunctionId>(s.op)) {
            case FunctionId::Upper:
            case FunctionId::Lower:
                return ChangeCase(s, a, static_cast<FunctionId>(s.op) == FunctionId::Upper);
            case FunctionId::Trim:
            case FunctionId::TrimLeft:
            case FunctionId::TrimRight:
                return Trim(s, a);
            case FunctionId::Substring:
                return Substring(s, a);
            case FunctionId::Year:
            case FunctionId::Month:
            case FunctionId::Day: {
                const int64_t day = DayOf(a);
                if (day == kNoDay) return SetBlank(s);
                int64_t y = 0;
                uint32_t m = 0;
                uint32_t d = 0;
                DayToCivil(day, y, m, d);
                const FunctionId id = static_cast<FunctionId>(s.op);
                return Put<double>(s, id == FunctionId::Year    ? static_cast<double>(y)
                                      : id == FunctionId::Month ? m
                                                                : d);
            }
            case FunctionId::Hour:
            case FunctionId::Minute:
            case FunctionId::Second: {
                const double ms =
                    a.type == EXPR_T_TIME ? Load<int32_t>(a.value) : MsOfDay(Load<double>(a.value));
                if (!std::isfinite(ms)) return SetBlank(s);
                const FunctionId id = static_cast<FunctionId>(s.op);
                if (id == FunctionId::Hour) return Put<double>(s, std::floor(ms / 3600000.0));
                if (id == FunctionId::Minute) {
                    return Put<double>(s, std::fmod(std::floor(ms / 60000.0), 60.0));
                }
                return Put<double>(
                    s, std::fmod(std::floor(ms / 1000.0), 60.0) + std::fmod(ms, 1000.0) / 1000.0);
            }
            case FunctionId::Date: {
                const int64_t day = DayOf(a);
                if (day == kNoDay || day < std::numeric_limits<int32_t>::min() ||
                    day > std::numeric_limits<int32_t>::max()) {
                    return SetBlank(s);
                }
                return Put<int32_t>(s, static_cast<int32_t>(day));
            }
            case FunctionId::Time:
                if (a.type == EXPR_T_TIME) return Put<int32_t>(s, Load<int32_t>(a.value));
                if (!std::isfinite(Load<double>(a.value))) return SetBlank(s);
                return Put<int32_t>(s, static_cast<int32_t>(MsOfDay(Load<double>(a.value))));
            case FunctionId::GetDate:
                return Put<double>(s, Now());
            default:
                return SetBlank(s);
        }
    }

    static constexpr int64_t kNoDay = std::numeric_limits<int64_t>::min();

    // The day number of a date or timestamp.
    static int64_t DayOf(const QCanExecElem& a) {
        if (a.type == EXPR_T_DATE) return Load<int32_t>(a.value);
        const double day = std::floor(Load<double>(a.value) / kMsPerDay);
        if (!std::isfinite(day) || std::fabs(day) > 1e15) return kNoDay;
        return static_cast<int64_t>(day);
    }

    static double Now() {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000;
        const int64_t day =
            DaysFromCivil(local.tm_year + 1900, static_cast<uint32_t>(local.tm_mon + 1),
                          static_cast<uint32_t>(local.tm_mday)) +
            kDayOfEpoch;
        const double msOfDay =
            ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec) * 1000.0 +
            static_cast<double>(ms);
        return static_cast<double>(day) * kMsPerDay + msOfDay;
    }

    // Upper or lower case of single-byte letters; double-byte characters are
    // copied whole so their second bytes are never mistaken for letters.
    static void ChangeCase(QCanExecElem& s, const QCanExecElem& a, bool upper) {
        const size_t n = std::min(StringLength(a), size_t{s.width} - 1);
        uint8_t* out = s.own.data();
        for (size_t i = 0; i < n; ++i) {
            uint8_t c = a.value[i];
            if (platform::IsDBCSLeadByte(c) && i + 1 < n) {
                out[i] = c;
                out[i + 1] = a.value[i + 1];
                ++i;
                continue;
            }
            if (upper && c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
            if (!upper && c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
            out[i] = c;
        }
        out[n] = 0;
        s.value = out;
        s.blank = false;
    }

    // Trims a single-byte character from either end, at character boundaries.
    void Trim(QCanExecElem& s, const QCanExecElem& a) {
        uint8_t ch = ' ';
        if (HasOp(s, 1)) ch = Op(s, 1).value[0];
        const size_t n = std::min(StringLength(a), size_t{s.width} - 1);
        const FunctionId id = static_cast<FunctionId>(s.op);
        size_t begin = 0;
        size_t end = n;
        if (ch != 0 && !platform::IsDBCSLeadByte(ch)) {
            if (id != FunctionId::TrimRight) {
                while (begin < end && a.value[begin] == ch) ++begin;
            }
            if (id != FunctionId::TrimLeft) {
                // The end of the last character that is not the trim character.
                size_t keep = begin;
                for (size_t i = begin; i < n;) {
                    const size_t width = platform::IsDBCSLeadByte(a.value[i]) && i + 1 < n ? 2 : 1;
                    if (width == 2 || a.value[i] != ch) keep = i + width;
                    i += width;
                }
                end = keep;
            }
        }
        std::memmove(s.own.data(), a.value + begin, end - begin);
        s.own[end - begin] = 0;
        s.value = s.own.data();
        s.blank = false;
    }

    // Positions and lengths count characters of the system code page, so a
    // double-byte character is taken or left whole.
    void Substring(QCanExecElem& s, const QCanExecElem& a) {
        const size_t n = std::min(StringLength(a), size_t{s.width} - 1);
        double start = 0;
        if (!NumberOf(Op(s, 1), start) || !std::isfinite(start)) return SetBlank(s);
        start = std::trunc(start);
        double length = -1;  // to the end
        if (HasOp(s, 2)) {
            if (!NumberOf(Op(s, 2), length) || std::isnan(length)) return SetBlank(s);
            length = std::max(0.0, std::trunc(length));
        }
        size_t from = n;
        size_t to = n;
        size_t character = 1;
        for (size_t i = 0; i < n; ++character) {
            const size_t width = platform::IsDBCSLeadByte(a.value[i]) && i + 1 < n ? 2 : 1;
            if (static_cast<double>(character) == start) from = i;
            if (from != n && length >= 0 && static_cast<double>(character) == start + length) {
                to = i;
                break;
            }
            i += width;
        }
        if (from == n) to = n;  // start below 1 or past the end: empty
        std::memmove(s.own.data(), a.value + from, to - from);
        s.own[to - from] = 0;
        s.value = s.own.data();
        s.blank = false;
    }

    QCanFilter& f_;
    std::vector<QCanExecElem>& steps_;
    const uint8_t* record_;
    const platform::Collation& collation_;
};

void QCanFilter::Run(const uint8_t* record) {
    ExprEvaluator(*this, record).Run();
}

bool QCanFilter::Evaluate(const uint8_t* record) {
    if (steps_.empty()) return true;
    Run(record);
    return Truthy(steps_.back());
}

const uint8_t* QCanFilter::ResultValue(const uint8_t* record) {
    if (steps_.empty()) return nullptr;
    Run(record);
    const QCanExecElem& last = steps_.back();
    return last.blank ? nullptr : last.value;
}

}  // namespace pelmora
