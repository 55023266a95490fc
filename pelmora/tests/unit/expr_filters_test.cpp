// Filter lists, filtered indexes kept up to date through store edits, and
// the cursor's filter operations (attach, detach, forward search) driven
// through a minimal cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "cursor/cursor_filters.h"
#include "expr/filter_list.h"
#include "expr_test_table.h"
#include "index/filtered_index.h"
#include "index/index.h"

namespace pelmora {
namespace {

using namespace exprbuild;
using B = ExprBuilder;

std::vector<uint8_t> AmountAbove(int32_t n) {
    B b;
    return b.Build(b.Binary(OP_GT, b.Field("AMOUNT"), b.Int32(n)));
}
std::vector<uint8_t> NameLike(const std::string& pattern) {
    B b;
    return b.Build(b.Binary(OP_LIKE, b.Field("NAME"), b.String(pattern)));
}

// Accepts records while *accept is set.
int32_t AcceptWhile(void* clientData, const void*) {
    return *static_cast<bool*>(clientData) ? 1 : 0;
}
// Rejects records whose AMOUNT (at `offset` in the record) is `rejected`.
struct AmountVeto {
    uint32_t offset;
    int32_t rejected;
};
int32_t RejectAmount(void* clientData, const void* record) {
    const auto* veto = static_cast<AmountVeto*>(clientData);
    int32_t v = 0;
    std::memcpy(&v, static_cast<const uint8_t*>(record) + veto->offset, 4);
    return v == veto->rejected ? 0 : 1;
}

// A table of named amounts with an index by NAME.
class Named : public ::testing::Test {
  protected:
    ExprTable t;
    std::map<uint32_t, std::pair<std::string, int32_t>> live;  // record -> (name, amount)

    uint32_t Add(const std::string& name, int32_t amount) {
        auto row = t.Blank();
        t.SetText(row, "NAME", name);
        t.SetValue(row, "AMOUNT", amount);
        const uint32_t r = t.Insert(row);
        live[r] = {name, amount};
        return r;
    }
    uint32_t Modify(uint32_t record, int32_t amount) {
        auto row = t.Blank();
        EXPECT_EQ(t.ds()->ReadRecord(record, row.data()), DS_OK);
        t.SetValue(row, "AMOUNT", amount);
        uint32_t n = 0;
        EXPECT_EQ(t.ds()->ModifyRecord(record, row.data(), &n), DS_OK);
        const std::string name = live[record].first;
        live.erase(record);
        live[n] = {name, amount};
        return n;
    }
    void Delete(uint32_t record) {
        EXPECT_EQ(t.ds()->DeleteRecord(record), DS_OK);
        live.erase(record);
    }
    IndexDesc ByName() const {
        IndexDesc d{};
        std::strcpy(d.name, "BYNAME");
        d.fieldCount = 1;
        d.fields[0] = t.FieldNumber("NAME");
        return d;
    }
    // Names of the live records passing `keep`, in name order (ties by
    // arrival, i.e. record number).
    template <class Keep>
    std::vector<std::string> Expected(Keep keep) const {
        std::vector<std::pair<std::string, uint32_t>> v;
        for (const auto& [r, value] : live) {
            if (keep(value.first, value.second)) v.emplace_back(value.first, r);
        }
        std::sort(v.begin(), v.end());
        std::vector<std::string> names;
        for (const auto& p : v) names.push_back(p.first);
        return names;
    }
    std::vector<std::string> Names(const DSIDX& index) const {
        std::vector<std::string> names;
        for (uint32_t p = 1; p <= index.count(); ++p) {
            names.emplace_back(
                reinterpret_cast<const char*>(t.ds()->store().ValueAt(index.EntryAt(p), 1)));
        }
        return names;
    }
    void Fill() {
        const char* names[] = {"pear", "apple", "fig", "kiwi", "date", "lime", "plum", "beet"};
        int32_t amount = 3;
        for (const char* n : names) {
            Add(n, amount);
            amount = (amount * 7) % 30;
        }
    }
};

TEST_F(Named, FilterListHandlesMessagesAndKinds) {
    DSCONSTR list(t.ds());
    std::vector<uint32_t> requiredFields;
    list.set_required_hook([&](uint32_t f) { requiredFields.push_back(f); });

    uint32_t h1 = 0;
    uint32_t h2 = 0;
    uint32_t h3 = 0;
    const auto above5 = AmountAbove(5);
    ASSERT_EQ(list.AddExpression(above5.data(), static_cast<uint32_t>(above5.size()),
                                 FILTER_KIND_FILTER, &h1),
              DS_OK);
    // A failing compile adds nothing and uses no handle.
    B bad;
    const auto badBytes = bad.Build(bad.Binary(OP_AND, bad.Field("NAME"), bad.Field("NAME")));
    uint32_t unused = 99;
    EXPECT_EQ(list.AddExpression(badBytes.data(), static_cast<uint32_t>(badBytes.size()),
                                 FILTER_KIND_FILTER, &unused),
              DSERR_TYPEMISMATCH);
    EXPECT_EQ(unused, 99u);
    bool accept = true;
    ASSERT_EQ(list.AddCallback(&accept, AcceptWhile, &h2), DS_OK);
    EXPECT_EQ(list.AddCallback(nullptr, nullptr, &unused), DSERR_INVALIDPARAM);

    // A constraint with a message and the required flag on NAME.
    const auto expr = NameLike("a%");
    std::vector<uint8_t> blob(9);
    const std::string message = "name must start with a";
    const uint32_t n = static_cast<uint32_t>(message.size());
    const uint32_t nameField = t.FieldNumber("NAME");
    std::memcpy(blob.data(), &n, 4);
    std::memcpy(blob.data() + 4, &nameField, 4);
    blob[8] = 1;
    blob.insert(blob.end(), message.begin(), message.end());
    blob.insert(blob.end(), expr.begin(), expr.end());
    ASSERT_EQ(list.AddExpression(blob.data(), static_cast<uint32_t>(blob.size()),
                                 FILTER_KIND_CONSTRAINT, &h3),
              DS_OK);
    EXPECT_EQ(requiredFields, std::vector<uint32_t>{nameField});
    // A default-value entry never rejects a record.
    uint32_t h4 = 0;
    blob[8] = 0;
    ASSERT_EQ(list.AddExpression(blob.data(), static_cast<uint32_t>(blob.size()),
                                 FILTER_KIND_DEFAULT, &h4),
              DS_OK);
    EXPECT_TRUE(h1 < h2 && h2 < h3 && h3 < h4);

    auto row = t.Blank();
    t.SetText(row, "NAME", "apple");
    t.SetValue<int32_t>(row, "AMOUNT", 9);
    EXPECT_TRUE(list.RecordPasses(row.data()));
    t.SetText(row, "NAME", "berry");
    EXPECT_FALSE(list.RecordPasses(row.data()));
    EXPECT_EQ(list.message(), message);
    accept = false;
    EXPECT_FALSE(list.RecordPasses(row.data()));

    EXPECT_EQ(list.Remove(h2), DS_OK);
    EXPECT_EQ(list.Remove(h2), DSERR_OBJNOTFOUND);
    EXPECT_EQ(list.Remove(12345), DSERR_OBJNOTFOUND);
    EXPECT_EQ(list.Remove(h3), DS_OK);
    EXPECT_TRUE(list.RecordPasses(row.data()));
    // Handles are not reused after removals.
    uint32_t h5 = 0;
    ASSERT_EQ(list.AddCallback(&accept, AcceptWhile, &h5), DS_OK);
    EXPECT_GT(h5, h4);
    // Recompiling keeps the entries working.
    EXPECT_EQ(list.RecompileAll(), DS_OK);
    accept = true;
    EXPECT_TRUE(list.RecordPasses(row.data()));
    t.SetValue<int32_t>(row, "AMOUNT", 1);
    EXPECT_FALSE(list.RecordPasses(row.data()));
}

TEST_F(Named, FilteredIndexFollowsInsertsModificationsAndDeletes) {
    Fill();
    DSIDXFILT* index = NewFilteredIndex(t.ds());
    ASSERT_NE(index, nullptr);
    ASSERT_NE(index->EnsureFilters(), nullptr);
    const auto above10Bytes = AmountAbove(10);
    ASSERT_EQ(index->EnsureFilters()->AddExpression(above10Bytes.data(),
                                                    static_cast<uint32_t>(above10Bytes.size()),
                                                    FILTER_KIND_FILTER, nullptr),
              DS_OK);
    const IndexDesc desc = ByName();
    ASSERT_EQ(index->Rebuild(&desc, nullptr), DS_OK);
    t.ds()->RegisterIndex(index);
    auto above10 = [](const std::string&, int32_t a) { return a > 10; };
    EXPECT_EQ(Names(*index), Expected(above10));

    const uint32_t low = Add("cherry", 2);
    const uint32_t high = Add("banana", 25);
    EXPECT_EQ(Names(*index), Expected(above10));
    const uint32_t raised = Modify(low, 11);    // enters
    const uint32_t lowered = Modify(high, 10);  // leaves
    EXPECT_EQ(Names(*index), Expected(above10));
    const uint32_t again = Modify(raised, 12);  // stays, replaced in place
    EXPECT_EQ(Names(*index), Expected(above10));
    Delete(again);
    Delete(lowered);
    EXPECT_EQ(Names(*index), Expected(above10));

    // A filter whose answer changes after a record entered: deleting the
    // record still takes it out (no entry may outlive its record).
    bool accept = true;
    ASSERT_EQ(index->EnsureFilters()->AddCallback(&accept, AcceptWhile, nullptr), DS_OK);
    ASSERT_EQ(index->Rebuild(nullptr, index), DS_OK);
    const uint32_t passing = Add("zucchini", 29);
    ASSERT_NE(index->PositionOf(passing), 0u);
    accept = false;
    Delete(passing);
    EXPECT_EQ(index->PositionOf(passing), 0u);
    const uint32_t hidden = Add("yam", 28);
    EXPECT_EQ(index->PositionOf(hidden), 0u);
    accept = true;
    const uint32_t shown = Modify(hidden, 27);
    EXPECT_NE(index->PositionOf(shown), 0u);

    t.ds()->UnregisterIndex(index);
    index->Release();
}

// The least a cursor needs for the filter operations: an index, a position
// and a bookmark of its record.
class MiniCursor : public CursorFilterHost {
  public:
    explicit MiniCursor(TDSBASE* ds) : ds_(ds), index_(ds->default_index()) { index_->AddRef(); }
    ~MiniCursor() { Drop(index_); }

    TDSBASE* FilterDataset() override { return ds_; }
    DSIDX* FilterCurrentIndex() override { return index_; }
    void AdoptFilteredIndex(DSIDX* index) override {
        Drop(index_);
        index_ = index;
    }
    void ChangeFilterCount(int32_t delta) override { filters_ += delta; }
    void MakeIndexStale() override {}
    std::unique_ptr<DSCONSTR>& SearchFilters() override { return search_; }
    EngineResult CursorSaveBookmark(CursorBookmark* out) override {
        *out = CursorBookmark{};
        out->position = position_;
        out->recordNumber = index_->EntryAt(position_);
        out->indexStamp = index_->change_counter();
        out->indexIdentity = index_->identity();
        return DS_OK;
    }
    EngineResult CursorGoToBookmark(const CursorBookmark* b) override {
        if (b->indexIdentity == index_->identity() && b->indexStamp == index_->change_counter()) {
            position_ = b->position;
        } else {
            position_ = index_->PositionOf(b->recordNumber);
        }
        return DS_OK;
    }
    EngineResult CursorMoveBy(int32_t offset) override {
        position_ += static_cast<uint32_t>(offset);
        if (position_ > index_->count()) {
            position_ = index_->count() + 1;
            return DSERR_EOF;
        }
        return DS_OK;
    }
    EngineResult CursorRecordNumber(uint32_t* out) override {
        *out = index_->EntryAt(position_);
        return DS_OK;
    }

    void GoTo(uint32_t position) { position_ = position; }
    uint32_t position() const { return position_; }
    int32_t filters() const { return filters_; }

  private:
    void Drop(DSIDX* index) {
        if (index->is_private()) {
            index->Release();
            if (index->refs() == 1) {
                ds_->UnregisterIndex(index);
                index->Release();
            }
            return;
        }
        index->Release();
    }

    TDSBASE* ds_;
    DSIDX* index_;
    uint32_t position_ = 0;
    int32_t filters_ = 0;
    std::unique_ptr<DSCONSTR> search_;
};

class CursorFilters : public Named {
  protected:
    void SetUp() override {
        Fill();
        const IndexDesc desc = ByName();
        ASSERT_EQ(t.ds()->MakeIndex(&desc), DS_OK);
        DSIDX* byName = nullptr;
        ASSERT_EQ(t.ds()->FindIndex("BYNAME", &byName), DS_OK);
        cursor = std::make_unique<MiniCursor>(t.ds());
        // Follow the BYNAME order, as SelectIndex would.
        byName->AddRef();
        cursor->AdoptFilteredIndex(byName);
    }
    EngineResult Attach(const std::vector<uint8_t>& bytes, uint32_t* handle) {
        return AttachExpressionFilter(*cursor, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                      handle);
    }
    std::unique_ptr<MiniCursor> cursor;
};

TEST_F(CursorFilters, AttachNarrowsAndDetachRestores) {
    DSIDX* plain = cursor->FilterCurrentIndex();
    const std::vector<std::string> all = Names(*plain);
    uint32_t byAmount = 0;
    ASSERT_EQ(Attach(AmountAbove(10), &byAmount), DS_OK);
    DSIDX* filtered = cursor->FilterCurrentIndex();
    ASSERT_NE(filtered, plain);
    EXPECT_EQ(filtered->kind(), uint32_t{IDX_FILTERED});
    EXPECT_TRUE(filtered->is_private());
    EXPECT_EQ(cursor->filters(), 1);
    auto above10 = [](const std::string&, int32_t a) { return a > 10; };
    EXPECT_EQ(Names(*filtered), Expected(above10));

    // A second filter narrows the same index further.
    AmountVeto veto{t.ds()->fields()[t.FieldNumber("AMOUNT") - 1].offset, 21};
    uint32_t byCallback = 0;
    ASSERT_EQ(AttachCallbackFilter(*cursor, &veto, RejectAmount, &byCallback), DS_OK);
    EXPECT_EQ(cursor->FilterCurrentIndex(), filtered);
    EXPECT_EQ(cursor->filters(), 2);
    EXPECT_NE(byCallback, byAmount);
    auto both = [&](const std::string&, int32_t a) { return a > 10 && a != veto.rejected; };
    EXPECT_EQ(Names(*filtered), Expected(both));
    ASSERT_LT(Expected(both).size(), Expected(above10).size());

    // A compile error attaches nothing.
    B bad;
    EXPECT_EQ(Attach(bad.Build(bad.Binary(OP_LIKE, bad.Field("AMOUNT"), bad.String("1"))), nullptr),
              DSERR_TYPEMISMATCH);
    EXPECT_EQ(cursor->filters(), 2);
    EXPECT_EQ(Names(*filtered), Expected(both));

    // Unknown handles change nothing; handle 0 does nothing.
    EXPECT_EQ(DetachFilter(*cursor, byCallback + 100), DSERR_OBJNOTFOUND);
    EXPECT_EQ(DetachFilter(*cursor, 0), DS_OK);
    EXPECT_EQ(cursor->filters(), 2);
    EXPECT_EQ(Names(*filtered), Expected(both));

    // Detaching the first filter brings back what only it hid.
    ASSERT_EQ(DetachFilter(*cursor, byAmount), DS_OK);
    EXPECT_EQ(cursor->filters(), 1);
    EXPECT_EQ(Names(*filtered),
              Expected([&](const std::string&, int32_t a) { return a != veto.rejected; }));
    EXPECT_EQ(DetachFilter(*cursor, byAmount), DSERR_OBJNOTFOUND);
    ASSERT_EQ(DetachFilter(*cursor, byCallback), DS_OK);
    EXPECT_EQ(cursor->filters(), 0);
    // The cursor keeps its filtered index, now showing everything in order.
    EXPECT_EQ(cursor->FilterCurrentIndex(), filtered);
    EXPECT_EQ(Names(*filtered), all);
}

TEST_F(CursorFilters, AttachKeepsTheCursorNearItsRecord) {
    // Stand on "fig" (amount filtered out below), then filter.
    DSIDX* plain = cursor->FilterCurrentIndex();
    const std::vector<std::string> all = Names(*plain);
    const auto at = std::find(all.begin(), all.end(), "fig") - all.begin() + 1;
    cursor->GoTo(static_cast<uint32_t>(at));
    // Keep names other than fig: LIKE with a pattern that fig fails.
    ASSERT_EQ(Attach(NameLike("%_e%"), nullptr), DS_OK);
    const std::vector<std::string> kept = Expected([](const std::string& n, int32_t) {
        return n.size() >= 2 && n.find('e', 1) != std::string::npos;
    });
    ASSERT_EQ(Names(*cursor->FilterCurrentIndex()), kept);
    ASSERT_EQ(std::count(kept.begin(), kept.end(), "fig"), 0);
    // The next record is the first kept name after "fig".
    ASSERT_EQ(cursor->CursorMoveBy(1), DS_OK);
    uint32_t record = 0;
    cursor->CursorRecordNumber(&record);
    const auto next = std::upper_bound(kept.begin(), kept.end(), std::string("fig"));
    ASSERT_NE(next, kept.end());
    EXPECT_EQ(live[record].first, *next);

    // A record that stays visible keeps the cursor on it.
    const auto keptAt = static_cast<uint32_t>(next - kept.begin() + 1);
    cursor->GoTo(keptAt);
    ASSERT_EQ(Attach(AmountAbove(-1), nullptr), DS_OK);
    cursor->CursorRecordNumber(&record);
    EXPECT_EQ(live[record].first, *next);
}

TEST_F(CursorFilters, FindNextMatchWalksForwardAndStopsAfterTheLast) {
    const auto expr = AmountAbove(10);
    const auto matches = Expected([](const std::string&, int32_t a) { return a > 10; });
    ASSERT_GE(matches.size(), 2u);
    std::vector<std::string> found;
    EngineResult r = FindNextMatch(*cursor, expr.data(), static_cast<uint32_t>(expr.size()));
    while (r == DS_OK) {
        uint32_t record = 0;
        cursor->CursorRecordNumber(&record);
        found.push_back(live[record].first);
        r = FindNextMatch(*cursor, nullptr, 0);  // the same expression again
    }
    EXPECT_EQ(r, DSERR_RECNOTFOUND);
    EXPECT_EQ(found, matches);
    EXPECT_EQ(cursor->position(), cursor->FilterCurrentIndex()->count() + 1);

    // A new expression replaces the previous one; compile errors are returned.
    cursor->GoTo(0);
    const auto named = NameLike("kiwi");
    ASSERT_EQ(FindNextMatch(*cursor, named.data(), static_cast<uint32_t>(named.size())), DS_OK);
    uint32_t record = 0;
    cursor->CursorRecordNumber(&record);
    EXPECT_EQ(live[record].first, "kiwi");
    B bad;
    const auto badBytes = bad.Build(bad.Field("NOPE"));
    EXPECT_EQ(FindNextMatch(*cursor, badBytes.data(), static_cast<uint32_t>(badBytes.size())),
              DSERR_TYPEMISMATCH);
}

}  // namespace
}  // namespace pelmora
