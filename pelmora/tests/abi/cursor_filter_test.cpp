// Filters through a cursor: expression and callback filters, the filtered
// view as the dataset changes, order changes under filters, the forward
// search and copying a filtered cursor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "engine_loader.h"
#include "expr_builder.h"

using enginetest::Engine;
using enginetest::Ref;
using namespace pelmora::exprbuild;

namespace {

enum : uint32_t { kId = 1, kAmount = 2, kCode = 3 };

// AMOUNT > limit, as canonical bytes.
std::vector<uint8_t> AmountAbove(int32_t limit) {
    ExprBuilder b;
    return b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(limit)));
}

// CODE = code.
std::vector<uint8_t> CodeIs(const std::string& code) {
    ExprBuilder b;
    return b.Build(b.Binary(OP_EQ, b.Field("CODE"), b.String(code)));
}

// CODE is not blank.
std::vector<uint8_t> CodeNotBlank() {
    ExprBuilder b;
    return b.Build(b.Unary(OP_NOT_BLANK, b.Field("CODE")));
}

// A callback filter accepting records whose CODE is not blank; the client
// data is the CODE indicator's offset in the dataset layout.
int32_t AcceptCodeNotBlank(void* data, const void* record) {
    const uint32_t offset = *static_cast<const uint32_t*>(data);
    return static_cast<const uint8_t*>(record)[offset] == IND_VALUE ? 1 : 0;
}

// A callback filter accepting records whose ID is odd; the client data is
// the ID field's offset in the dataset layout, and calls are counted.
struct OddIds {
    uint32_t offset = 0;
    int calls = 0;
};
int32_t AcceptOddId(void* data, const void* record) {
    auto* state = static_cast<OddIds*>(data);
    ++state->calls;
    int32_t id = 0;
    std::memcpy(&id, static_cast<const uint8_t*>(record) + state->offset, 4);
    return id % 2 != 0 ? 1 : 0;
}

// (ID int32, AMOUNT int32, CODE string 8) holding ten records: ID i,
// AMOUNT 10 * ((i * 7) % 10), CODE "A" for even IDs and "B" for odd ones;
// record 4 has a blank AMOUNT.
class CursorFilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {dstest::Field("ID", FLD_INT32),
                                    dstest::Field("AMOUNT", FLD_INT32),
                                    dstest::Field("CODE", FLD_STRING, 8)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(3, fields, "F")));
        *cur_.out() = NewCursor();
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
        for (int32_t i = 1; i <= 10; ++i) {
            Add(cur_.get(), i, i == 4 ? -1 : 10 * ((i * 7) % 10), i % 2 == 0 ? "A" : "B");
        }
        odd_.offset = dstest::Fields(ds_.get())[kId - 1].offset;
    }

    // A new cursor attached to the dataset (the caller takes the reference).
    IDSCursor* NewCursor() {
        IDSCursor* c = Engine::Get().NewCursor();
        EXPECT_EQ(0u, ResultCode(c->AttachDataset(ds_.get())));
        return c;
    }

    // A record buffer; amount -1 means blank.
    std::vector<uint8_t> Record(IDSCursor* c, int32_t id, int32_t amount, const char* code) {
        std::vector<uint8_t> rec(size_);
        c->PrepareRecord(rec.data());
        c->WriteFieldValue(rec.data(), kId, &id);
        c->WriteFieldValue(rec.data(), kAmount, amount < 0 ? nullptr : &amount);
        c->WriteFieldValue(rec.data(), kCode, code);
        return rec;
    }

    uint32_t Add(IDSCursor* c, int32_t id, int32_t amount, const char* code) {
        return ResultCode(c->AddRecord(Record(c, id, amount, code).data()));
    }

    static int32_t Amount(int32_t id) { return id == 4 ? -1 : 10 * ((id * 7) % 10); }

    int32_t CurrentId(IDSCursor* c) {
        std::vector<uint8_t> rec(size_);
        if (ResultCode(c->ReadCurrentRecord(rec.data())) != 0) return 0;
        int32_t id = 0;
        c->ReadFieldValue(rec.data(), kId, &id, nullptr);
        return id;
    }

    // IDs visible through a cursor from the first record on.
    std::vector<int32_t> Ids(IDSCursor* c) {
        std::vector<int32_t> ids;
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0) ids.push_back(CurrentId(c));
        uint32_t count = 0;
        EXPECT_EQ(0u, ResultCode(c->CountRecords(&count)));
        EXPECT_EQ(ids.size(), count);
        return ids;
    }

    // IDs of the original ten records for which a predicate holds.
    template <typename Pred>
    static std::vector<int32_t> Where(Pred pred) {
        std::vector<int32_t> ids;
        for (int32_t i = 1; i <= 10; ++i)
            if (pred(i)) ids.push_back(i);
        return ids;
    }

    uint32_t AttachExpr(IDSCursor* c, const std::vector<uint8_t>& e, uint32_t* handle = nullptr) {
        return ResultCode(
            c->AttachExpressionFilter(e.data(), static_cast<uint32_t>(e.size()), handle));
    }

    void GoToId(IDSCursor* c, int32_t id) {
        c->GoBeforeFirst();
        while (ResultCode(c->MoveBy(1)) == 0)
            if (CurrentId(c) == id) return;
        ADD_FAILURE() << "record " << id << " not visible";
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
    OddIds odd_;
};

TEST_F(CursorFilterTest, ExpressionAndCallbackFiltersCombineAndDetach) {
    const auto above40 = Where([](int32_t i) { return Amount(i) > 40; });
    uint32_t exprHandle = 0;
    ASSERT_EQ(0u, AttachExpr(cur_.get(), AmountAbove(40), &exprHandle));
    EXPECT_NE(0u, exprHandle);
    EXPECT_EQ(above40, Ids(cur_.get()));  // the blank AMOUNT of record 4 does not pass

    uint32_t cbHandle = 0;
    ASSERT_EQ(0u, ResultCode(cur_->AttachCallbackFilter(&odd_, AcceptOddId, &cbHandle)));
    EXPECT_NE(exprHandle, cbHandle);
    EXPECT_GT(odd_.calls, 0);
    EXPECT_EQ(Where([](int32_t i) { return Amount(i) > 40 && i % 2 != 0; }), Ids(cur_.get()));

    // An unknown handle changes nothing; handle 0 does nothing.
    EXPECT_EQ(DSERR_OBJNOTFOUND, ResultCode(cur_->DetachFilter(cbHandle + 100)));
    EXPECT_EQ(0u, ResultCode(cur_->DetachFilter(0)));
    EXPECT_EQ(Where([](int32_t i) { return Amount(i) > 40 && i % 2 != 0; }), Ids(cur_.get()));

    // Detaching the expression brings back the records only it hid.
    ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(exprHandle)));
    EXPECT_EQ(Where([](int32_t i) { return i % 2 != 0; }), Ids(cur_.get()));
    EXPECT_EQ(DSERR_OBJNOTFOUND, ResultCode(cur_->DetachFilter(exprHandle)));
    ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(cbHandle)));
    EXPECT_EQ(Where([](int32_t) { return true; }), Ids(cur_.get()));

    // Other cursors never see this cursor's filters.
    ASSERT_EQ(0u, AttachExpr(cur_.get(), CodeIs("A")));
    Ref<IDSCursor> other(NewCursor());
    EXPECT_EQ(10u, Ids(other.get()).size());
}

TEST_F(CursorFilterTest, RefusedFiltersLeaveTheCursorAlone) {
    GoToId(cur_.get(), 3);
    // AMOUNT = 'x' does not compile; a lone field is not a condition but compiles.
    ExprBuilder b;
    const auto mismatch = b.Build(b.Binary(OP_EQ, b.Field("AMOUNT"), b.String("x")));
    EXPECT_EQ(DSERR_TYPEMISMATCH, AttachExpr(cur_.get(), mismatch));
    ExprBuilder u;
    const auto unknown = u.Build(u.Binary(OP_GT, u.Field("NOSUCH"), u.Int32(1)));
    EXPECT_NE(0u, AttachExpr(cur_.get(), unknown));
    EXPECT_EQ(DSERR_INVALIDPARAM, ResultCode(cur_->AttachCallbackFilter(&odd_, nullptr, nullptr)));
    EXPECT_EQ(3, CurrentId(cur_.get()));
    EXPECT_EQ(10u, Ids(cur_.get()).size());

    ExprBuilder f;
    ASSERT_EQ(0u, AttachExpr(cur_.get(), f.Build(f.Field("AMOUNT"))));
    EXPECT_TRUE(Ids(cur_.get()).empty());

    // An unattached cursor refuses every filter operation.
    Ref<IDSCursor> loose(Engine::Get().NewCursor());
    const auto e = AmountAbove(1);
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(loose->AttachExpressionFilter(
                                      e.data(), static_cast<uint32_t>(e.size()), nullptr)));
    EXPECT_EQ(DSERR_NOTSUPPORTED, ResultCode(loose->FindNextMatch(e.data(), 0)));
}

TEST_F(CursorFilterTest, AttachKeepsThePlaceOrTheCrackWhereTheRecordSorts) {
    const IndexDesc byAmount = [] {
        IndexDesc d{};
        std::strcpy(d.name, "BYAMOUNT");
        d.fieldCount = 1;
        d.fields[0] = kAmount;
        return d;
    }();
    ASSERT_EQ(0u, ResultCode(ds_->MakeIndex(&byAmount)));
    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("BYAMOUNT")));
    GoToId(cur_.get(), 9);  // AMOUNT 30
    ASSERT_EQ(0u, ResultCode(cur_->AttachCallbackFilter(&odd_, AcceptOddId, nullptr)));
    EXPECT_EQ(9, CurrentId(cur_.get()));

    GoToId(cur_.get(), 7);  // AMOUNT 90
    ASSERT_EQ(0u, AttachExpr(cur_.get(), AmountAbove(60)));
    EXPECT_EQ(7, CurrentId(cur_.get()));

    // Record 7 is filtered out: the cursor stands where it would sort, between
    // the odd records with AMOUNT 70 (record 1) and nothing after it.
    ExprBuilder b;
    ASSERT_EQ(0u, AttachExpr(cur_.get(), b.Build(b.Binary(OP_LT, b.Field("AMOUNT"), b.Int32(90)))));
    EXPECT_EQ(DSERR_NOCURRREC, ResultCode(cur_->MoveBy(0)));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(1, CurrentId(cur_.get()));
}

TEST_F(CursorFilterTest, FilteredViewFollowsEditsFromAnyCursor) {
    const uint32_t byId[] = {kId};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, byId, nullptr, nullptr)));
    ASSERT_EQ(0u, AttachExpr(cur_.get(), AmountAbove(40)));
    Ref<IDSCursor> editor(NewCursor());
    ASSERT_EQ(0u, ResultCode(editor->SortByFields(1, byId, nullptr, nullptr)));
    std::vector<int32_t> expected = Where([](int32_t i) { return Amount(i) > 40; });

    EXPECT_EQ(0u, Add(editor.get(), 11, 99, "C"));  // passes
    EXPECT_EQ(0u, Add(editor.get(), 12, 5, "C"));   // hidden
    expected.push_back(11);
    EXPECT_EQ(expected, Ids(cur_.get()));

    // Record 1 (AMOUNT 70) drops below the limit; record 2 (AMOUNT 40) rises above it.
    GoToId(editor.get(), 1);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 1, 1, "B").data())));
    GoToId(editor.get(), 2);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 2, 41, "A").data())));
    // A passing record stays passing under a change of another field.
    GoToId(editor.get(), 5);
    ASSERT_EQ(0u, ResultCode(
                      editor->UpdateCurrentRecord(Record(editor.get(), 5, Amount(5), "Z").data())));
    std::erase(expected, 1);
    expected.insert(expected.begin(), 2);
    EXPECT_EQ(expected, Ids(cur_.get()));

    // Deleting the record the filtered cursor stands on.
    GoToId(cur_.get(), 5);
    ASSERT_EQ(0u, ResultCode(cur_->RemoveCurrentRecord()));
    std::erase(expected, 5);
    EXPECT_EQ(expected, Ids(cur_.get()));
    // Deleting through another cursor a record the filter hides.
    GoToId(editor.get(), 12);
    ASSERT_EQ(0u, ResultCode(editor->RemoveCurrentRecord()));
    EXPECT_EQ(expected, Ids(cur_.get()));

    // Undo brings the deleted passing record back into the filtered view.
    ASSERT_EQ(0u, ResultCode(editor->WithdrawLastChange(0)));
    ASSERT_EQ(0u, ResultCode(editor->WithdrawLastChange(0)));
    expected = Ids(editor.get());
    std::erase_if(expected, [&](int32_t id) {
        GoToId(editor.get(), id);
        int32_t amount = 0;
        uint32_t blank = 0;
        editor->ReadFieldValue(nullptr, kAmount, &amount, &blank);
        return blank != 0 || amount <= 40;
    });
    EXPECT_EQ(expected, Ids(cur_.get()));
}

// With change logging off every edit rewrites the record in place. Filtered
// views over the default order and over sorted orders, by expression and by
// callback, hold exactly what a fresh cursor with the same filter holds.
TEST_F(CursorFilterTest, InPlaceEditsKeepFilteredViewsExact) {
    ASSERT_EQ(0u, ds_->WriteProperty(PROP_LOGGING, 0));
    uint32_t codeIndicator = dstest::Fields(ds_.get())[kCode - 1].indicatorOffset;
    const std::vector<uint8_t> notBlank = CodeNotBlank();
    // Shape 0: default order and the expression; 1: AMOUNT order and the
    // expression; 2: CODE descending, ID and the callback.
    // A new filtered cursor (the caller takes the reference).
    auto open = [&](int shape) {
        IDSCursor* c = NewCursor();
        if (shape == 1) {
            const uint32_t fields[] = {kAmount};
            EXPECT_EQ(0u, ResultCode(c->SortByFields(1, fields, nullptr, nullptr)));
        } else if (shape == 2) {
            const uint32_t fields[] = {kCode, kId};
            const uint32_t descending[] = {1, 0};
            EXPECT_EQ(0u, ResultCode(c->SortByFields(2, fields, descending, nullptr)));
        }
        if (shape == 2) {
            EXPECT_EQ(0u, ResultCode(c->AttachCallbackFilter(&codeIndicator, AcceptCodeNotBlank,
                                                             nullptr)));
        } else {
            EXPECT_EQ(0u, AttachExpr(c, notBlank));
        }
        return c;
    };
    Ref<IDSCursor> views[3];
    for (int shape = 0; shape < 3; ++shape) *views[shape].out() = open(shape);
    auto checkViews = [&](const char* step) {
        for (int shape = 0; shape < 3; ++shape) {
            SCOPED_TRACE(std::string(step) + ", shape " + std::to_string(shape));
            Ref<IDSCursor> fresh(open(shape));
            EXPECT_EQ(Ids(fresh.get()), Ids(views[shape].get()));
        }
    };
    Ref<IDSCursor> editor(NewCursor());

    // A visible record's CODE becomes blank: it leaves every view.
    GoToId(editor.get(), 2);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(
                      Record(editor.get(), 2, Amount(2), nullptr).data())));
    EXPECT_EQ((std::vector<int32_t>{1, 3, 4, 5, 6, 7, 8, 9, 10}), Ids(views[0].get()));
    checkViews("CODE of 2 blanked");
    // The record being edited is the one the filtered cursor stands on.
    GoToId(views[1].get(), 6);
    ASSERT_EQ(0u, ResultCode(views[1]->UpdateCurrentRecord(
                      Record(views[1].get(), 6, Amount(6), nullptr).data())));
    EXPECT_EQ((std::vector<int32_t>{1, 3, 4, 5, 7, 8, 9, 10}), Ids(views[0].get()));
    checkViews("CODE of 6 blanked through a filtered cursor");

    // It comes back at its place in each order, with a new key in the sorted ones.
    GoToId(editor.get(), 2);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 2, 95, "Q").data())));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, 7, 8, 9, 10}), Ids(views[0].get()));
    EXPECT_EQ(2, Ids(views[1].get()).back()) << "AMOUNT 95 sorts last";
    checkViews("2 back with a new AMOUNT and CODE");

    // A visible record changes its key and stays visible; an edit that keeps
    // the key keeps the record among its equals.
    GoToId(editor.get(), 7);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 7, 5, "B").data())));
    GoToId(editor.get(), 3);
    ASSERT_EQ(0u, ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 3, 10, "B").data())));
    checkViews("keys changed and kept");

    // Inserted hidden, then shown by an edit; a visible record deleted.
    ASSERT_EQ(0u, Add(editor.get(), 11, 15, nullptr));
    checkViews("11 inserted hidden");
    GoToId(editor.get(), 11);
    ASSERT_EQ(0u,
              ResultCode(editor->UpdateCurrentRecord(Record(editor.get(), 11, 15, "C").data())));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, 7, 8, 9, 10, 11}), Ids(views[0].get()));
    checkViews("11 shown");
    GoToId(editor.get(), 9);
    ASSERT_EQ(0u, ResultCode(editor->RemoveCurrentRecord()));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5, 7, 8, 10, 11}), Ids(views[0].get()));
    checkViews("9 deleted");
}

TEST_F(CursorFilterTest, AddRecordHiddenByTheFilterLeavesNoCurrentRecord) {
    ASSERT_EQ(0u, AttachExpr(cur_.get(), CodeIs("A")));
    EXPECT_EQ(0u, Add(cur_.get(), 20, 1, "B"));
    EXPECT_EQ(DSERR_NOCURRREC, ResultCode(cur_->MoveBy(0)));
    uint8_t status = 0;
    EXPECT_EQ(DSERR_NOCURRREC, ResultCode(cur_->ReadRecordStatus(&status)));
    // In arrival order the hidden record sorts last.
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(1)));

    EXPECT_EQ(0u, Add(cur_.get(), 21, 1, "A"));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(0)));
    EXPECT_EQ(21, CurrentId(cur_.get()));

    // In key order the cursor stands where the hidden record sorts: even IDs
    // by AMOUNT are 21 (1), 6 (20), 2 (40), 8 (60), and 50 falls after 2.
    const uint32_t fields[] = {kAmount};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, fields, nullptr, nullptr)));
    EXPECT_EQ(0u, Add(cur_.get(), 22, 50, "B"));
    EXPECT_EQ(DSERR_NOCURRREC, ResultCode(cur_->MoveBy(0)));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(-1)));
    EXPECT_EQ(2, CurrentId(cur_.get()));
    EXPECT_EQ(0u, Add(cur_.get(), 23, 45, "B"));
    EXPECT_EQ(0u, ResultCode(cur_->MoveBy(1)));
    EXPECT_EQ(8, CurrentId(cur_.get()));

    // The hidden records are stored all the same.
    Ref<IDSCursor> plain(NewCursor());
    EXPECT_EQ(14u, Ids(plain.get()).size());
}

TEST_F(CursorFilterTest, OrderChangesKeepTheFilters) {
    uint32_t handle = 0;
    ASSERT_EQ(0u, AttachExpr(cur_.get(), CodeIs("B"), &handle));
    const uint32_t fields[] = {kAmount};
    const uint32_t descending[] = {1};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, fields, descending, nullptr)));
    // Odd IDs: AMOUNT 70, 10, 50, 90, 30 for IDs 1, 3, 5, 7, 9.
    EXPECT_EQ((std::vector<int32_t>{7, 1, 5, 9, 3}), Ids(cur_.get()));

    ASSERT_EQ(0u, ResultCode(cur_->SelectIndex("DEFAULT_ORDER")));
    EXPECT_EQ((std::vector<int32_t>{1, 3, 5, 7, 9}), Ids(cur_.get()));

    // The order survives detaching the last filter, and later edits keep it.
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, fields, nullptr, nullptr)));
    ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(handle)));
    const std::vector<int32_t> all = Ids(cur_.get());
    ASSERT_EQ(10u, all.size());
    EXPECT_EQ(4, all.front());  // the blank AMOUNT sorts first
    for (size_t i = 2; i < all.size(); ++i) EXPECT_LE(Amount(all[i - 1]), Amount(all[i]));

    // Ranges apply within the filtered view.
    ASSERT_EQ(0u, AttachExpr(cur_.get(), CodeIs("A")));
    std::vector<uint8_t> low = Record(cur_.get(), 0, 20, "");
    std::vector<uint8_t> high = Record(cur_.get(), 0, 60, "");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, low.data(), 1, high.data(), 1)));
    // Even IDs with 20 <= AMOUNT <= 60: 6 (20), 2 (40), 8 (60).
    EXPECT_EQ((std::vector<int32_t>{6, 2, 8}), Ids(cur_.get()));
}

TEST_F(CursorFilterTest, FindNextMatchWalksForwardThroughMatches) {
    const auto e = CodeIs("A");
    const auto length = static_cast<uint32_t>(e.size());
    cur_->GoBeforeFirst();
    ASSERT_EQ(0u, ResultCode(cur_->FindNextMatch(e.data(), length)));
    EXPECT_EQ(2, CurrentId(cur_.get()));
    ASSERT_EQ(0u, ResultCode(cur_->FindNextMatch(nullptr, 0)));
    EXPECT_EQ(4, CurrentId(cur_.get()));

    // A new expression replaces the old one and searches from here.
    const auto big = AmountAbove(80);
    ASSERT_EQ(0u, ResultCode(cur_->FindNextMatch(big.data(), static_cast<uint32_t>(big.size()))));
    EXPECT_EQ(7, CurrentId(cur_.get()));
    EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(cur_->FindNextMatch(nullptr, 0)));
    EXPECT_EQ(DSERR_EOF, ResultCode(cur_->MoveBy(0)));

    // A bad expression is refused and the cursor does not move.
    GoToId(cur_.get(), 5);
    ExprBuilder b;
    const auto bad = b.Build(b.Binary(OP_AND, b.Field("AMOUNT"), b.Int32(1)));
    EXPECT_EQ(DSERR_TYPEMISMATCH,
              ResultCode(cur_->FindNextMatch(bad.data(), static_cast<uint32_t>(bad.size()))));
    EXPECT_EQ(5, CurrentId(cur_.get()));

    // Under a filter the search sees only the filtered records.
    ASSERT_EQ(0u, ResultCode(cur_->AttachCallbackFilter(&odd_, AcceptOddId, nullptr)));
    cur_->GoBeforeFirst();
    const auto any = AmountAbove(0);
    std::vector<int32_t> found;
    uint32_t r = cur_->FindNextMatch(any.data(), static_cast<uint32_t>(any.size()));
    while (ResultCode(r) == 0) {
        found.push_back(CurrentId(cur_.get()));
        r = cur_->FindNextMatch(nullptr, 0);
    }
    EXPECT_EQ(DSERR_RECNOTFOUND, ResultCode(r));
    EXPECT_EQ(Where([](int32_t i) { return i % 2 != 0 && Amount(i) > 0; }), found);
}

TEST_F(CursorFilterTest, CopyCursorCarriesFiltersOrderAndRange) {
    const uint32_t fields[] = {kAmount};
    ASSERT_EQ(0u, ResultCode(cur_->SortByFields(1, fields, nullptr, nullptr)));
    ASSERT_EQ(0u, AttachExpr(cur_.get(), AmountAbove(10)));
    uint32_t cbHandle = 0;
    ASSERT_EQ(0u, ResultCode(cur_->AttachCallbackFilter(&odd_, AcceptOddId, &cbHandle)));
    std::vector<uint8_t> high = Record(cur_.get(), 0, 70, "");
    ASSERT_EQ(0u, ResultCode(cur_->LimitToRange(1, nullptr, 1, high.data(), 1)));
    const std::vector<int32_t> seen = Ids(cur_.get());
    // Odd IDs with 10 < AMOUNT <= 70, by AMOUNT: 9 (30), 5 (50), 1 (70).
    ASSERT_EQ((std::vector<int32_t>{9, 5, 1}), seen);
    GoToId(cur_.get(), 5);

    Ref<IDSCursor> copy(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(copy->CopyCursor(cur_.get())));
    EXPECT_EQ(5, CurrentId(copy.get()));
    EXPECT_EQ(seen, Ids(copy.get()));

    // The copy's filters are its own.
    ASSERT_EQ(0u, ResultCode(cur_->DetachFilter(cbHandle)));
    EXPECT_EQ(seen, Ids(copy.get()));
    EXPECT_EQ((std::vector<int32_t>{6, 9, 2, 5, 8, 1}), Ids(cur_.get()));

    // A filtered cursor over a named order copies onto that order.
    Ref<IDSCursor> named(NewCursor());
    ASSERT_EQ(0u, AttachExpr(named.get(), CodeIs("A")));
    Ref<IDSCursor> copy2(Engine::Get().NewCursor());
    ASSERT_EQ(0u, ResultCode(copy2->CopyCursor(named.get())));
    EXPECT_EQ(Ids(named.get()), Ids(copy2.get()));
    EXPECT_EQ(0u, Add(copy2.get(), 30, 1, "A"));
    EXPECT_EQ(30, Ids(copy2.get()).back());
}

}  // namespace
