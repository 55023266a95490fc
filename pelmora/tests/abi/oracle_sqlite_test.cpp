// The engine's orders, key ranges and filters checked against an SQL engine
// holding the same random data. Blank values are NULL there.
//
// How the two sets of rules are lined up:
// - Order: blanks sort first in ascending fields and last in descending
//   ones, so every ORDER BY term says NULLS FIRST / NULLS LAST. Records with
//   equal keys keep their arrival order, which is the id order ("id" ends
//   every ORDER BY).
// - Text: case-sensitive string keys hold only upper-case letters and
//   digits, where the locale collation agrees with byte order; the
//   case-insensitive key holds letters of both cases and digits and is
//   compared with COLLATE NOCASE.
// - Logic: a comparison with a blank operand is blank, and a blank counts as
//   false in AND, OR and NOT and in the final result. Three-valued SQL agrees
//   once every comparison is wrapped as COALESCE(cmp, 0): NULL AND/OR/NOT
//   then never arises. IS NULL and IS NOT NULL never give NULL.
// - Arithmetic: blanks propagate and division by zero is blank in both; an
//   int32 result outside -2147483647..2147483647 is blank here, which the
//   SQL side gets from the function i32().
// - LIKE: case-sensitive LIKE runs with case_sensitive_like on; the
//   case-insensitive form compares lower(text) with lower(pattern). The
//   escape character is the backslash in both. Texts are ASCII, so "_" is
//   one byte in both.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "engine_loader.h"
#include "expr_builder.h"

using enginetest::Engine;
using enginetest::Ref;
using namespace pelmora::exprbuild;

namespace {

enum : uint32_t { kId = 1, kInt = 2, kFloat = 3, kStr = 4, kName = 5 };
const char* const kColumn[] = {"", "id", "i", "f", "s", "n"};
constexpr int kRecords = 240;

struct Row {
    int32_t id = 0;
    std::optional<int32_t> i;
    std::optional<double> f;
    std::optional<std::string> s;  // upper-case letters and digits
    std::optional<std::string> n;  // letters of both cases and digits
};

// 32-bit results only: anything outside the engine's int32 range is NULL.
void SqlInt32(sqlite3_context* context, int, sqlite3_value** args) {
    if (sqlite3_value_type(args[0]) != SQLITE_INTEGER) {
        sqlite3_result_value(context, args[0]);
        return;
    }
    const sqlite3_int64 v = sqlite3_value_int64(args[0]);
    if (v < -2147483647LL || v > 2147483647LL)
        sqlite3_result_null(context);
    else
        sqlite3_result_int64(context, v);
}

std::string SqlReal(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    std::string s = text;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return "(" + s + ")";
}

std::string SqlText(const std::string& s) {
    return "'" + s + "'";
}

// One key field of an order.
struct KeyField {
    uint32_t field;
    bool descending;
    bool caseInsensitive;
};

class OracleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(SQLITE_OK, sqlite3_open(":memory:", &db_));
        Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, i INTEGER, f REAL, s TEXT, n TEXT)");
        Exec("PRAGMA case_sensitive_like = ON");
        ASSERT_EQ(SQLITE_OK, sqlite3_create_function(db_, "i32", 1, SQLITE_UTF8, nullptr, SqlInt32,
                                                     nullptr, nullptr));

        *ds_.out() = Engine::Get().NewDataset();
        const FieldDesc fields[] = {dstest::Field("ID", FLD_INT32), dstest::Field("I", FLD_INT32),
                                    dstest::Field("F", FLD_FLOAT),
                                    dstest::Field("S", FLD_STRING, 8),
                                    dstest::Field("N", FLD_STRING, 8)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(5, fields, "ORACLE")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;

        std::mt19937 rng(20240611);
        for (int32_t id = 1; id <= kRecords; ++id) {
            Row row;
            row.id = id;
            if (rng() % 7 != 0) row.i = static_cast<int32_t>(rng() % 41) - 20;
            if (rng() % 7 != 0) row.f = (static_cast<int>(rng() % 81) - 40) / 4.0;
            if (rng() % 7 != 0) row.s = Word(rng, "AB1Z");
            if (rng() % 7 != 0) row.n = Word(rng, "aAbB1");
            Insert(row);
        }
    }

    void TearDown() override { sqlite3_close(db_); }

    static std::string Word(std::mt19937& rng, const std::string& alphabet) {
        std::string w(1 + rng() % 3, ' ');
        for (char& c : w) c = alphabet[rng() % alphabet.size()];
        return w;
    }

    void Exec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error))
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }

    void Insert(const Row& row) {
        std::vector<uint8_t> rec(size_);
        cur_->PrepareRecord(rec.data());
        cur_->WriteFieldValue(rec.data(), kId, &row.id);
        cur_->WriteFieldValue(rec.data(), kInt, row.i ? &*row.i : nullptr);
        cur_->WriteFieldValue(rec.data(), kFloat, row.f ? &*row.f : nullptr);
        cur_->WriteFieldValue(rec.data(), kStr, row.s ? row.s->c_str() : nullptr);
        cur_->WriteFieldValue(rec.data(), kName, row.n ? row.n->c_str() : nullptr);
        ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
        Exec("INSERT INTO t VALUES(" + std::to_string(row.id) + "," +
             (row.i ? std::to_string(*row.i) : "NULL") + "," + (row.f ? SqlReal(*row.f) : "NULL") +
             "," + (row.s ? SqlText(*row.s) : "NULL") + "," + (row.n ? SqlText(*row.n) : "NULL") +
             ")");
        rows_.push_back(row);
    }

    std::vector<int32_t> Query(const std::string& sql) {
        std::vector<int32_t> ids;
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr))
            << sql << ": " << sqlite3_errmsg(db_);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) ids.push_back(sqlite3_column_int(stmt, 0));
        sqlite3_finalize(stmt);
        return ids;
    }

    // IDs through a cursor from the first record on.
    std::vector<int32_t> Ids(IDSCursor* c) {
        std::vector<int32_t> ids;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0) {
            int32_t id = 0;
            c->ReadFieldValue(nullptr, kId, &id, nullptr);
            ids.push_back(id);
        }
        return ids;
    }

    uint32_t Sort(IDSCursor* c, const std::vector<KeyField>& keys) {
        std::vector<uint32_t> fields, descending, caseInsensitive;
        for (const KeyField& k : keys) {
            fields.push_back(k.field);
            descending.push_back(k.descending ? 1 : 0);
            caseInsensitive.push_back(k.caseInsensitive ? 1 : 0);
        }
        return ResultCode(c->SortByFields(static_cast<uint32_t>(keys.size()), fields.data(),
                                          descending.data(), caseInsensitive.data()));
    }

    static std::string Column(const KeyField& k) {
        return std::string(kColumn[k.field]) + (k.caseInsensitive ? " COLLATE NOCASE" : "");
    }

    static std::string OrderBy(const std::vector<KeyField>& keys) {
        std::string sql = " ORDER BY ";
        for (const KeyField& k : keys)
            sql += Column(k) + (k.descending ? " DESC NULLS LAST, " : " ASC NULLS FIRST, ");
        return sql + "id";
    }

    // A key field's value of a row as SQL, or nullopt when blank.
    std::optional<std::string> SqlValue(const Row& row, uint32_t field) const {
        switch (field) {
            case kInt:
                return row.i ? std::optional(std::to_string(*row.i)) : std::nullopt;
            case kFloat:
                return row.f ? std::optional(SqlReal(*row.f)) : std::nullopt;
            case kStr:
                return row.s ? std::optional(SqlText(*row.s)) : std::nullopt;
            default:
                return row.n ? std::optional(SqlText(*row.n)) : std::nullopt;
        }
    }

    // Key buffer holding the row's values of the first `count` key fields.
    std::vector<uint8_t> KeyOf(const Row& row, const std::vector<KeyField>& keys, size_t count) {
        std::vector<uint8_t> key(size_);
        cur_->PrepareRecord(key.data());
        for (size_t k = 0; k < count; ++k) {
            const uint32_t f = keys[k].field;
            if (f == kInt) cur_->WriteFieldValue(key.data(), f, &*row.i);
            if (f == kFloat) cur_->WriteFieldValue(key.data(), f, &*row.f);
            if (f == kStr) cur_->WriteFieldValue(key.data(), f, row.s->c_str());
            if (f == kName) cur_->WriteFieldValue(key.data(), f, row.n->c_str());
        }
        return key;
    }

    // SQL for "the record's key over `count` fields sorts before (after) the
    // row's key"; never NULL.
    std::string Sorts(bool before, const Row& row, const std::vector<KeyField>& keys, size_t count,
                      size_t k = 0) const {
        const KeyField& key = keys[k];
        const std::string col = Column(key);
        const std::string v = *SqlValue(row, key.field);
        // Blanks and smaller values lie before ascending, after descending.
        const std::string here =
            before != key.descending
                ? "(" + std::string(kColumn[key.field]) + " IS NULL OR " + col + " < " + v + ")"
                : "COALESCE(" + col + " > " + v + ", 0)";
        if (k + 1 == count) return here;
        return "(" + here + " OR (COALESCE(" + col + " = " + v + ", 0) AND " +
               Sorts(before, row, keys, count, k + 1) + "))";
    }

    sqlite3* db_ = nullptr;
    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
    std::vector<Row> rows_;
};

const std::vector<std::vector<KeyField>> kOrders = {
    {{kInt, false, false}},
    {{kInt, true, false}},
    {{kFloat, false, false}},
    {{kFloat, true, false}},
    {{kStr, false, false}},
    {{kStr, true, false}},
    {{kName, false, true}},
    {{kName, true, true}},
    {{kInt, false, false}, {kFloat, true, false}},
    {{kStr, false, false}, {kInt, false, false}},
    {{kName, false, true}, {kStr, true, false}},
    {{kFloat, true, false}, {kName, false, true}, {kInt, true, false}},
};

TEST_F(OracleTest, SortedOrdersMatchOrderBy) {
    for (const auto& keys : kOrders) {
        SCOPED_TRACE(OrderBy(keys));
        ASSERT_EQ(0u, Sort(cur_.get(), keys));
        EXPECT_EQ(Query("SELECT id FROM t" + OrderBy(keys)), Ids(cur_.get()));
    }
    // Records added after the sort go to their places.
    std::mt19937 rng(7);
    for (int32_t id = kRecords + 1; id <= kRecords + 30; ++id) {
        Row row;
        row.id = id;
        if (rng() % 5 != 0) row.i = static_cast<int32_t>(rng() % 41) - 20;
        if (rng() % 5 != 0) row.f = (static_cast<int>(rng() % 81) - 40) / 4.0;
        if (rng() % 5 != 0) row.s = Word(rng, "AB1Z");
        if (rng() % 5 != 0) row.n = Word(rng, "aAbB1");
        Insert(row);
    }
    EXPECT_EQ(Query("SELECT id FROM t" + OrderBy(kOrders.back())), Ids(cur_.get()));
}

TEST_F(OracleTest, KeyRangesMatchWhereRanges) {
    std::mt19937 rng(99);
    for (const auto& keys : kOrders) {
        ASSERT_EQ(0u, Sort(cur_.get(), keys));
        for (int round = 0; round < 25; ++round) {
            const size_t count = 1 + rng() % keys.size();
            // Bounds come from rows whose leading key values are not blank.
            auto pick = [&]() -> const Row* {
                for (;;) {
                    const Row& r = rows_[rng() % rows_.size()];
                    bool ok = true;
                    for (size_t k = 0; k < count; ++k) ok = ok && SqlValue(r, keys[k].field);
                    if (ok) return &r;
                }
            };
            const Row* start = rng() % 5 == 0 ? nullptr : pick();
            const Row* end = rng() % 5 == 0 ? nullptr : pick();
            const bool startIn = rng() % 2 != 0;
            const bool endIn = rng() % 2 != 0;
            if (!start && !end) continue;
            std::vector<uint8_t> startKey, endKey;
            std::string where = "1";
            if (start) {
                startKey = KeyOf(*start, keys, count);
                where += startIn ? " AND NOT " + Sorts(true, *start, keys, count)
                                 : " AND " + Sorts(false, *start, keys, count);
            }
            if (end) {
                endKey = KeyOf(*end, keys, count);
                where += endIn ? " AND NOT " + Sorts(false, *end, keys, count)
                               : " AND " + Sorts(true, *end, keys, count);
            }
            SCOPED_TRACE(where + OrderBy(keys));
            ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(static_cast<int32_t>(count),
                                                        start ? startKey.data() : nullptr, startIn,
                                                        end ? endKey.data() : nullptr, endIn)));
            const std::vector<int32_t> expected =
                Query("SELECT id FROM t WHERE " + where + OrderBy(keys));
            EXPECT_EQ(expected, Ids(cur_.get()));
            uint32_t counted = 0;
            EXPECT_EQ(0u, ResultCode(cur_->CountRecords(&counted)));
            EXPECT_EQ(expected.size(), counted);
        }
        ASSERT_EQ(0u, ResultCode(cur_->ClearRange()));
    }
}

// Random filter expressions, built for the engine and written as SQL at once.
class ExprGen {
  public:
    ExprGen(std::mt19937& rng, ExprBuilder& b) : rng_(rng), b_(b) {}

    struct Expr {
        ExprBuilder::Node node;
        std::string sql;
    };

    Expr Int(int depth) {
        const uint32_t pick = rng_() % (depth > 0 ? 6 : 3);
        if (pick == 0) return {b_.Field("I"), "i"};
        if (pick == 1) return {b_.Field("ID"), "id"};
        if (pick == 2) {
            const int32_t v = static_cast<int32_t>(rng_() % 21) - 10;
            return {b_.Int32(v), "(" + std::to_string(v) + ")"};
        }
        static const uint32_t ops[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
        static const char* const sql[] = {"+", "-", "*", "/"};
        const uint32_t k = rng_() % 4;
        Expr a = Int(depth - 1);
        Expr c = Int(depth - 1);
        return {b_.Binary(ops[k], a.node, c.node), "i32(" + a.sql + sql[k] + c.sql + ")"};
    }

    Expr Float(int depth) {
        const uint32_t pick = rng_() % (depth > 0 ? 4 : 2);
        if (pick == 0) return {b_.Field("F"), "f"};
        if (pick == 1) {
            const double v = (static_cast<int>(rng_() % 41) - 20) / 4.0;
            return {b_.Float(v), SqlReal(v)};
        }
        static const uint32_t ops[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
        static const char* const sql[] = {"+", "-", "*", "/"};
        const uint32_t k = rng_() % 4;
        Expr a = Float(depth - 1);
        Expr c = pick == 2 ? Float(depth - 1) : Int(depth - 1);
        if (rng_() % 2) std::swap(a, c);
        return {b_.Binary(ops[k], a.node, c.node), "(" + a.sql + sql[k] + c.sql + ")"};
    }

    Expr Str() {
        if (rng_() % 3 == 0) {
            const std::string v = Word("AB1Z");
            return {b_.String(v), SqlText(v)};
        }
        if (rng_() % 4 == 0) {
            const std::string v = Word("AB1Z");
            return {b_.Binary(OP_ADD, b_.Field("S"), b_.String(v)), "(s || " + SqlText(v) + ")"};
        }
        return {b_.Field("S"), "s"};
    }

    // The number of top-level forms Shape can draw; the last three nest.
    static constexpr uint32_t kShapes = 10;

    Expr Bool(int depth) { return Shape(rng_() % (depth > 0 ? kShapes : 7), depth); }

    // A condition of the given top-level form (0 .. kShapes - 1); nested
    // conditions are drawn at random.
    Expr Shape(uint32_t pick, int depth) {
        switch (pick) {
            case 0:
                return Compare(Int(1), Int(1), "");
            case 1:
                return Compare(Float(1), rng_() % 2 ? Float(1) : Int(1), "");
            case 2:
                return Compare(Str(), Str(), "");
            case 3: {
                // Case-insensitive comparison with the mixed-case field.
                const uint32_t op = OP_EQ + rng_() % 6;
                const std::string v = Word("aAbB1");
                Expr e{b_.Compare(op, true, 0, b_.Field("N"), b_.String(v)), ""};
                e.sql = "COALESCE(n COLLATE NOCASE " + std::string(SqlOp(op)) + " " + SqlText(v) +
                        ", 0)";
                return e;
            }
            case 4: {
                if (rng_() % 2) {
                    const std::string p = Pattern("AB1Z");
                    return {b_.Binary(OP_LIKE, b_.Field("S"), b_.String(p)),
                            "COALESCE(s LIKE " + SqlText(p) + " ESCAPE '\\', 0)"};
                }
                const std::string p = Pattern("aAbB1");
                return {b_.Compare(OP_LIKE, true, 0, b_.Field("N"), b_.String(p)),
                        "COALESCE(lower(n) LIKE lower(" + SqlText(p) + ") ESCAPE '\\', 0)"};
            }
            case 5:
            case 6: {
                Expr v = rng_() % 3 == 0 ? Str() : (rng_() % 2 ? Int(1) : Float(1));
                const bool isBlank = pick == 5;
                return {b_.Unary(isBlank ? OP_IS_BLANK : OP_NOT_BLANK, v.node),
                        "(" + v.sql + (isBlank ? " IS NULL)" : " IS NOT NULL)")};
            }
            case 7: {
                Expr a = Bool(depth - 1);
                return {b_.Unary(OP_NOT, a.node), "(NOT " + a.sql + ")"};
            }
            default: {
                Expr a = Bool(depth - 1);
                Expr c = Bool(depth - 1);
                const bool isAnd = pick == 8;
                return {b_.Binary(isAnd ? OP_AND : OP_OR, a.node, c.node),
                        "(" + a.sql + (isAnd ? " AND " : " OR ") + c.sql + ")"};
            }
        }
    }

  private:
    static const char* SqlOp(uint32_t op) {
        switch (op) {
            case OP_EQ:
                return "=";
            case OP_NE:
                return "<>";
            case OP_GT:
                return ">";
            case OP_LT:
                return "<";
            case OP_GE:
                return ">=";
            default:
                return "<=";
        }
    }

    Expr Compare(const Expr& a, const Expr& c, const char*) {
        const uint32_t op = OP_EQ + rng_() % 6;
        return {b_.Binary(op, a.node, c.node),
                "COALESCE(" + a.sql + " " + SqlOp(op) + " " + c.sql + ", 0)"};
    }

    std::string Word(const std::string& alphabet) {
        std::string w(1 + rng_() % 3, ' ');
        for (char& ch : w) ch = alphabet[rng_() % alphabet.size()];
        return w;
    }

    std::string Pattern(const std::string& alphabet) {
        std::string p;
        const size_t length = 1 + rng_() % 4;
        for (size_t k = 0; k < length; ++k) {
            const uint32_t r = rng_() % 10;
            if (r < 2)
                p += '%';
            else if (r < 4)
                p += '_';
            else if (r == 4)
                p += rng_() % 2 ? "\\%" : "\\_";
            else
                p += alphabet[rng_() % alphabet.size()];
        }
        return p;
    }

    std::mt19937& rng_;
    ExprBuilder& b_;
};

TEST_F(OracleTest, RandomFiltersMatchWhere) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        ExprBuilder b;
        ExprGen gen(rng, b);
        const ExprGen::Expr e = gen.Bool(2);
        const std::vector<uint8_t> bytes = b.Build(e.node);
        SCOPED_TRACE(e.sql);
        const std::vector<int32_t> expected =
            Query("SELECT id FROM t WHERE " + e.sql + " ORDER BY id");

        uint32_t handle = 0;
        ASSERT_EQ(0u, ResultCode(cur_->AttachExpressionFilter(
                          bytes.data(), static_cast<uint32_t>(bytes.size()), &handle)));
        EXPECT_EQ(expected, Ids(cur_.get()));
        ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(handle)));

        // The forward search finds the same records.
        if (round % 5 == 0) {
            std::vector<int32_t> found;
            cur_->GoBeforeFirst();
            uint32_t r = cur_->FindNextMatch(bytes.data(), static_cast<uint32_t>(bytes.size()));
            while (ResultCode(r) == 0) {
                int32_t id = 0;
                cur_->ReadFieldValue(nullptr, kId, &id, nullptr);
                found.push_back(id);
                r = cur_->FindNextMatch(nullptr, 0);
            }
            EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(r));
            EXPECT_EQ(expected, found);
        }
    }
    EXPECT_EQ(static_cast<size_t>(kRecords), Ids(cur_.get()).size());
}

TEST_F(OracleTest, FiltersOverSortedOrdersAndRanges) {
    std::mt19937 rng(515);
    for (const auto& keys : kOrders) {
        ASSERT_EQ(0u, Sort(cur_.get(), keys));
        ExprBuilder b;
        ExprGen gen(rng, b);
        const ExprGen::Expr e1 = gen.Bool(1);
        const ExprGen::Expr e2 = gen.Bool(1);
        const std::vector<uint8_t> bytes1 = b.Build(e1.node);
        const std::vector<uint8_t> bytes2 = b.Build(e2.node);
        uint32_t h1 = 0, h2 = 0;
        ASSERT_EQ(0u, ResultCode(cur_->AttachExpressionFilter(
                          bytes1.data(), static_cast<uint32_t>(bytes1.size()), &h1)));
        ASSERT_EQ(0u, ResultCode(cur_->AttachExpressionFilter(
                          bytes2.data(), static_cast<uint32_t>(bytes2.size()), &h2)));
        SCOPED_TRACE(e1.sql + " AND " + e2.sql + OrderBy(keys));
        EXPECT_EQ(Query("SELECT id FROM t WHERE " + e1.sql + " AND " + e2.sql + OrderBy(keys)),
                  Ids(cur_.get()));

        // A range over the filtered order: from the first row's key on.
        const Row* from = nullptr;
        for (const Row& r : rows_)
            if (SqlValue(r, keys[0].field)) {
                from = &r;
                break;
            }
        ASSERT_TRUE(from);
        const std::vector<uint8_t> key = KeyOf(*from, keys, 1);
        ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, key.data(), 1, nullptr, 1)));
        EXPECT_EQ(Query("SELECT id FROM t WHERE " + e1.sql + " AND " + e2.sql + " AND NOT " +
                        Sorts(true, *from, keys, 1) + OrderBy(keys)),
                  Ids(cur_.get()));
        ASSERT_EQ(0u, ResultCode(cur_->ClearRange()));

        // Copying the cursor keeps order and filters; detaching one filter
        // leaves the other.
        Ref<IDSCursor> copy(Engine::Get().NewCursor());
        ASSERT_EQ(0u, ResultCode(copy->CopyCursor(cur_.get())));
        ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(h1)));
        EXPECT_EQ(Query("SELECT id FROM t WHERE " + e2.sql + OrderBy(keys)), Ids(cur_.get()));
        EXPECT_EQ(Query("SELECT id FROM t WHERE " + e1.sql + " AND " + e2.sql + OrderBy(keys)),
                  Ids(copy.get()));
        ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(h2)));
    }
}

// Edits under filtered views: every filter shape, over the default order
// (no key fields) and over sorted orders, keeps exactly the rows SQL selects
// through random inserts, modifications and deletions. Logging off and a
// delta rewrite records in place; with logging on, undo joins the edits.
class OracleEditTest : public OracleTest {
  protected:
    enum class Mode { LoggingOff, Delta, LoggingOn };

    // One filtered cursor: its order (none = the default order) and filter.
    struct View {
        std::vector<KeyField> keys;
        std::string where;
        Ref<IDSCursor> cursor;
    };

    // A row with random values (blank now and then).
    static Row RandomRow(std::mt19937& rng, int32_t id) {
        Row row;
        row.id = id;
        if (rng() % 6 != 0) row.i = static_cast<int32_t>(rng() % 41) - 20;
        if (rng() % 6 != 0) row.f = (static_cast<int>(rng() % 81) - 40) / 4.0;
        if (rng() % 6 != 0) row.s = Word(rng, "AB1Z");
        if (rng() % 6 != 0) row.n = Word(rng, "aAbB1");
        return row;
    }

    // Writes a row's values into a record buffer of the cursor.
    static void Fill(IDSCursor* c, uint8_t* rec, const Row& row) {
        c->WriteFieldValue(rec, kId, &row.id);
        c->WriteFieldValue(rec, kInt, row.i ? &*row.i : nullptr);
        c->WriteFieldValue(rec, kFloat, row.f ? &*row.f : nullptr);
        c->WriteFieldValue(rec, kStr, row.s ? row.s->c_str() : nullptr);
        c->WriteFieldValue(rec, kName, row.n ? row.n->c_str() : nullptr);
    }

    static std::string SqlRow(const Row& row) {
        return std::to_string(row.id) + "," + (row.i ? std::to_string(*row.i) : "NULL") + "," +
               (row.f ? SqlReal(*row.f) : "NULL") + "," + (row.s ? SqlText(*row.s) : "NULL") + "," +
               (row.n ? SqlText(*row.n) : "NULL");
    }

    void SqlPut(const Row& row) { Exec("INSERT OR REPLACE INTO t VALUES(" + SqlRow(row) + ")"); }
    void SqlDrop(int32_t id) { Exec("DELETE FROM t WHERE id = " + std::to_string(id)); }

    // The view shows the rows SQL selects, sorted by its key; rows with equal
    // keys may stand in any order, except over the default order, which
    // lists records in store order (id order here) unless logging is on.
    void Check(View& v, bool exactDefaultOrder) {
        std::vector<int32_t> shown = Ids(v.cursor.get());
        const std::string order = v.keys.empty() ? " ORDER BY id" : OrderBy(v.keys);
        const std::vector<int32_t> expected = Query("SELECT id FROM t WHERE " + v.where + order);
        if (v.keys.empty() && exactDefaultOrder) {
            EXPECT_EQ(expected, shown);
            return;
        }
        std::vector<int32_t> a = expected, b = shown;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        ASSERT_EQ(a, b);
        if (v.keys.empty()) return;
        // Dense ranks of the keys: the view's ranks never fall.
        std::string rankOrder = OrderBy(v.keys);
        rankOrder = rankOrder.substr(0, rankOrder.rfind(", id"));
        const std::vector<int32_t> ranked =
            Query("SELECT id FROM (SELECT id, DENSE_RANK() OVER (" + rankOrder +
                  ") AS k FROM t WHERE " + v.where + ") ORDER BY id");
        std::vector<int32_t> ranks =
            Query("SELECT k FROM (SELECT id, DENSE_RANK() OVER (" + rankOrder +
                  ") AS k FROM t WHERE " + v.where + ") ORDER BY id");
        ASSERT_EQ(ranked, a);
        auto rankOf = [&](int32_t id) {
            return ranks[std::lower_bound(ranked.begin(), ranked.end(), id) - ranked.begin()];
        };
        for (size_t k = 1; k < shown.size(); ++k)
            ASSERT_LE(rankOf(shown[k - 1]), rankOf(shown[k]))
                << "ids " << shown[k - 1] << " and " << shown[k] << " out of key order";
    }

    void EditsUnderFilteredViews(Mode mode) {
        Ref<IDSBase> delta;
        IDSBase* target = ds_.get();
        if (mode == Mode::Delta) {
            ASSERT_EQ(0u, ResultCode(ds_->MakeDelta(delta.out())));
            target = delta.get();
        } else if (mode == Mode::LoggingOff) {
            ASSERT_EQ(0u, ResultCode(ds_->WriteProperty(PROP_LOGGING, 0)));
        }

        // Every shape over the default order and over two sorted orders.
        std::mt19937 rng(mode == Mode::Delta ? 31 : mode == Mode::LoggingOff ? 32 : 33);
        std::deque<View> views;
        for (uint32_t shape = 0; shape < ExprGen::kShapes; ++shape) {
            for (uint32_t k = 0; k < 3; ++k) {
                ExprBuilder b;
                ExprGen gen(rng, b);
                const ExprGen::Expr e = gen.Shape(shape, 2);
                const std::vector<uint8_t> bytes = b.Build(e.node);
                View& v = views.emplace_back();
                if (k != 0) v.keys = kOrders[(shape + 5 * k) % kOrders.size()];
                v.where = e.sql;
                *v.cursor.out() = Engine::Get().NewCursor();
                ASSERT_EQ(0u, ResultCode(v.cursor->AttachDataset(target)));
                if (!v.keys.empty()) {
                    ASSERT_EQ(0u, Sort(v.cursor.get(), v.keys));
                }
                ASSERT_EQ(0u, ResultCode(v.cursor->AttachExpressionFilter(
                                  bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr)));
            }
        }

        Ref<IDSCursor> editor(Engine::Get().NewCursor());
        ASSERT_EQ(0u, ResultCode(editor->AttachDataset(target)));
        std::vector<uint8_t> rec(size_);
        std::vector<std::string> undo;  // SQL that reverses each logged edit
        int32_t nextId = kRecords + 1;
        for (int step = 0; step < 160; ++step) {
            uint32_t count = 0;
            ASSERT_EQ(0u, ResultCode(editor->CountRecords(&count)));
            const uint32_t op = rng() % 10;
            if (mode == Mode::LoggingOn && op == 9 && !undo.empty()) {
                ASSERT_EQ(0u, ResultCode(editor->WithdrawLastChange(0)));
                Exec(undo.back());
                undo.pop_back();
            } else if (mode != Mode::Delta && op < 2) {
                const Row row = RandomRow(rng, nextId++);
                editor->PrepareRecord(rec.data());
                Fill(editor.get(), rec.data(), row);
                ASSERT_EQ(0u, ResultCode(editor->AddRecord(rec.data())));
                SqlPut(row);
                undo.push_back("DELETE FROM t WHERE id = " + std::to_string(row.id));
            } else {
                ASSERT_EQ(0u, ResultCode(editor->GoToOrdinal(1 + rng() % count)));
                int32_t id = 0;
                editor->ReadFieldValue(nullptr, kId, &id, nullptr);
                // The row as it stands, kept for undoing the edit.
                Exec(
                    "CREATE TEMP TABLE IF NOT EXISTS saved(step INTEGER, id INTEGER, "
                    "i INTEGER, f REAL, s TEXT, n TEXT)");
                Exec("INSERT INTO saved SELECT " + std::to_string(step) +
                     ", * FROM t WHERE id = " + std::to_string(id));
                const std::string restore =
                    "INSERT OR REPLACE INTO t SELECT id, i, f, s, n FROM saved WHERE step = " +
                    std::to_string(step);
                if (mode != Mode::Delta && op == 2) {
                    ASSERT_EQ(0u, ResultCode(editor->RemoveCurrentRecord()));
                    SqlDrop(id);
                } else {
                    const Row row = RandomRow(rng, id);
                    ASSERT_EQ(0u, ResultCode(editor->ReadCurrentRecord(rec.data())));
                    Fill(editor.get(), rec.data(), row);
                    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(rec.data())));
                    SqlPut(row);
                }
                undo.push_back(restore);
            }
            if (step % 8 != 7) continue;
            for (View& v : views) {
                SCOPED_TRACE("step " + std::to_string(step) + ": " + v.where +
                             (v.keys.empty() ? std::string(" (default order)") : OrderBy(v.keys)));
                Check(v, mode != Mode::LoggingOn);
                if (HasFatalFailure() || HasNonfatalFailure()) return;
            }
        }
    }
};

TEST_F(OracleEditTest, FilteredViewsFollowInPlaceEditsWithLoggingOff) {
    EditsUnderFilteredViews(Mode::LoggingOff);
}

TEST_F(OracleEditTest, FilteredViewsFollowInPlaceEditsOfADelta) {
    EditsUnderFilteredViews(Mode::Delta);
}

TEST_F(OracleEditTest, FilteredViewsFollowLoggedEditsAndUndo) {
    EditsUnderFilteredViews(Mode::LoggingOn);
}

}  // namespace
