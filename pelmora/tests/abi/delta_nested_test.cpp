// Deltas and the nested reconcile over a master table with a nested detail
// dataset: random sessions of master and detail edits replayed from their
// delta on the original, and error packets that fail some master and some
// detail changes, after which exactly those changes are left.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "delta_test_support.h"

namespace {

using deltatest::ErrorColumns;
using dstest::Builder;
using dstest::DecodedRow;
using dstest::Field;
using enginetest::Engine;
using enginetest::Ref;

// Master (ID, ITEMS, NAME, QTY); detail (DID, TEXT, AMT) under ITEMS.
enum : uint32_t { kId = 1, kItems = 2, kName = 3, kQty = 4 };
enum : uint32_t { kDid = 1, kText = 2, kAmt = 3 };
// Column positions in a decoded delta row.
enum : size_t { kColId = 0, kColItems = 1, kColName = 2, kColQty = 3 };
enum : size_t { kColDid = 0, kColText = 1, kColAmt = 2 };

using Item = std::pair<std::string, int32_t>;
struct Master {
    std::string name;
    int32_t qty = 0;
    std::map<int32_t, Item> items;
    bool operator==(const Master&) const = default;
};
using Contents = std::map<int32_t, Master>;

std::ostream& operator<<(std::ostream& os, const Master& m) {
    os << "{" << m.name << "," << m.qty << " [";
    for (const auto& [did, item] : m.items)
        os << did << ":" << item.first << "," << item.second << " ";
    return os << "]}";
}

// A master dataset and its nested detail dataset, each with a cursor; the
// detail cursor follows the master cursor's record.
class NestedTable {
  public:
    explicit NestedTable(const std::vector<uint8_t>& packet) {
        uint32_t r = 0;
        *ds_.out() = dstest::Load(packet, &r);
        EXPECT_EQ(0u, r);
        Attach();
    }
    NestedTable() {
        *ds_.out() = Engine::Get().NewDataset();
        const FieldDesc fields[] = {Field("ID", FLD_INT32),  Field("ITEMS", FLD_TABLE, 3, 3),
                                    Field("DID", FLD_INT32), Field("TEXT", FLD_STRING, 8),
                                    Field("AMT", FLD_INT32), Field("NAME", FLD_STRING, 10),
                                    Field("QTY", FLD_INT32)};
        EXPECT_EQ(0u, ResultCode(ds_->DefineFields(7, fields, "ORDERS")));
        Attach();
    }

    IDSBase* ds() const { return ds_.get(); }
    IDSBase* nested() const { return nested_.get(); }

    bool FindMaster(int32_t id) { return Find(master_.get(), masterSize_, kId, id); }
    bool FindDetail(int32_t did) { return Find(detail_.get(), detailSize_, kDid, did); }

    uint32_t AddMaster(int32_t id, const std::string& name, int32_t qty) {
        std::vector<uint8_t> rec(masterSize_);
        master_->PrepareRecord(rec.data());
        master_->WriteFieldValue(rec.data(), kId, &id);
        master_->WriteFieldValue(rec.data(), kName, name.c_str());
        master_->WriteFieldValue(rec.data(), kQty, &qty);
        return ResultCode(master_->AddRecord(rec.data()));
    }
    uint32_t SetMaster(int32_t id, const char* name, const int32_t* qty) {
        if (!FindMaster(id)) return DSERR_RECNOTFOUND;
        std::vector<uint8_t> rec(masterSize_);
        master_->ReadCurrentRecord(rec.data());
        if (name != nullptr) master_->WriteFieldValue(rec.data(), kName, name);
        if (qty != nullptr) master_->WriteFieldValue(rec.data(), kQty, qty);
        return ResultCode(master_->UpdateCurrentRecord(rec.data()));
    }
    uint32_t RemoveMaster(int32_t id) {
        if (!FindMaster(id)) return DSERR_RECNOTFOUND;
        return ResultCode(master_->RemoveCurrentRecord());
    }
    uint32_t AddDetail(int32_t id, int32_t did, const std::string& text, int32_t amt) {
        if (!FindMaster(id)) return DSERR_RECNOTFOUND;
        std::vector<uint8_t> rec(detailSize_);
        detail_->PrepareRecord(rec.data());
        detail_->WriteFieldValue(rec.data(), kDid, &did);
        detail_->WriteFieldValue(rec.data(), kText, text.c_str());
        detail_->WriteFieldValue(rec.data(), kAmt, &amt);
        return ResultCode(detail_->AddRecord(rec.data()));
    }
    uint32_t SetDetail(int32_t id, int32_t did, const char* text, const int32_t* amt) {
        if (!FindMaster(id) || !FindDetail(did)) return DSERR_RECNOTFOUND;
        std::vector<uint8_t> rec(detailSize_);
        detail_->ReadCurrentRecord(rec.data());
        if (text != nullptr) detail_->WriteFieldValue(rec.data(), kText, text);
        if (amt != nullptr) detail_->WriteFieldValue(rec.data(), kAmt, amt);
        return ResultCode(detail_->UpdateCurrentRecord(rec.data()));
    }
    uint32_t RemoveDetail(int32_t id, int32_t did) {
        if (!FindMaster(id) || !FindDetail(did)) return DSERR_RECNOTFOUND;
        return ResultCode(detail_->RemoveCurrentRecord());
    }

    Contents Rows() {
        Contents out;
        std::vector<uint8_t> rec(masterSize_);
        std::vector<uint8_t> drec(detailSize_);
        master_->GoBeforeFirst();
        while (ResultCode(master_->MoveBy(1)) == 0) {
            master_->ReadCurrentRecord(rec.data());
            Master m;
            m.name = Text(master_.get(), rec, kName);
            m.qty = Int(master_.get(), rec, kQty);
            detail_->GoBeforeFirst();
            while (ResultCode(detail_->MoveBy(1)) == 0) {
                detail_->ReadCurrentRecord(drec.data());
                m.items[Int(detail_.get(), drec, kDid)] = {Text(detail_.get(), drec, kText),
                                                           Int(detail_.get(), drec, kAmt)};
            }
            out[Int(master_.get(), rec, kId)] = m;
        }
        return out;
    }

    std::vector<uint8_t> Delta(uint32_t* result) {
        return deltatest::DeltaBytes(ds_.get(), result);
    }

  private:
    void Attach() {
        EXPECT_EQ(0u, ResultCode(ds_->GetNestedDataset(kItems, nested_.out())));
        *master_.out() = Engine::Get().NewCursor();
        *detail_.out() = Engine::Get().NewCursor();
        EXPECT_EQ(0u, ResultCode(master_->AttachDataset(ds_.get())));
        EXPECT_EQ(0u, ResultCode(detail_->AttachDataset(nested_.get())));
        EXPECT_EQ(0u, ResultCode(master_->LinkDetailCursor(0, nullptr, nullptr, detail_.get())));
        DatasetProps props{};
        master_->ReadCursorProps(&props);
        masterSize_ = props.recordSize;
        detail_->ReadCursorProps(&props);
        detailSize_ = props.recordSize;
    }
    static bool Find(IDSCursor* cur, uint32_t size, uint32_t field, int32_t key) {
        cur->GoBeforeFirst();
        std::vector<uint8_t> rec(size);
        while (ResultCode(cur->MoveBy(1)) == 0) {
            cur->ReadCurrentRecord(rec.data());
            if (Int(cur, rec, field) == key) return true;
        }
        return false;
    }
    static int32_t Int(IDSCursor* cur, const std::vector<uint8_t>& rec, uint32_t field) {
        int32_t v = 0;
        uint32_t blank = 0;
        cur->ReadFieldValue(rec.data(), field, &v, &blank);
        return blank != 0 ? -1 : v;
    }
    static std::string Text(IDSCursor* cur, const std::vector<uint8_t>& rec, uint32_t field) {
        char text[16] = {};
        uint32_t blank = 0;
        cur->ReadFieldValue(rec.data(), field, text, &blank);
        return blank != 0 ? "<blank>" : text;
    }

    Ref<IDSBase> ds_;
    Ref<IDSBase> nested_;
    Ref<IDSCursor> master_;
    Ref<IDSCursor> detail_;
    uint32_t masterSize_ = 0;
    uint32_t detailSize_ = 0;
};

// Six masters, most with a few details, all merged: the packet every
// session starts from.
std::vector<uint8_t> OriginalPacket() {
    NestedTable t;
    int32_t did = 1;
    for (int32_t id = 1; id <= 6; ++id) {
        EXPECT_EQ(0u, t.AddMaster(id, "n" + std::to_string(id), id % 4));
        for (int32_t k = 0; k < id % 4; ++k, ++did)
            EXPECT_EQ(0u, t.AddDetail(id, did, "d" + std::to_string(did), did % 4));
    }
    EXPECT_EQ(0u, ResultCode(t.ds()->AcceptAllChanges()));
    return dstest::Write(t.ds());
}

// A random session over masters and details. Values come from small ranges
// so that many modifications set a record back to its first values.
void RandomNestedSession(NestedTable& t, std::mt19937& rng, int steps) {
    int32_t nextMaster = 100;
    int32_t nextDetail = 100;
    for (int s = 0; s < steps; ++s) {
        const Contents rows = t.Rows();
        std::vector<int32_t> ids;
        std::vector<std::pair<int32_t, int32_t>> items;  // (master, detail)
        for (const auto& [id, m] : rows) {
            ids.push_back(id);
            for (const auto& [did, item] : m.items) items.push_back({id, did});
        }
        const int choice = static_cast<int>(rng() % 9);
        if (choice == 0 || ids.empty()) {
            const int32_t id = nextMaster++;
            ASSERT_EQ(0u, t.AddMaster(id, "x" + std::to_string(id), id % 3));
            for (uint32_t k = rng() % 3; k > 0; --k, ++nextDetail)
                ASSERT_EQ(0u, t.AddDetail(id, nextDetail, "y", nextDetail % 3));
            continue;
        }
        const int32_t id = ids[rng() % ids.size()];
        if (choice == 1 && rng() % 2 == 0) {
            for (const auto& [did, item] : rows.at(id).items)
                ASSERT_EQ(0u, t.RemoveDetail(id, did));
            ASSERT_EQ(0u, t.RemoveMaster(id)) << "master " << id;
        } else if (choice == 2) {
            ASSERT_EQ(0u, t.SetMaster(id, ("m" + std::to_string(rng() % 3)).c_str(), nullptr));
        } else if (choice == 3) {
            const auto qty = static_cast<int32_t>(rng() % 4);
            ASSERT_EQ(0u, t.SetMaster(id, nullptr, &qty));
        } else if (choice == 4) {
            ASSERT_EQ(0u, t.AddDetail(id, nextDetail, "z", nextDetail % 3));
            ++nextDetail;
        } else if (!items.empty()) {
            const auto [mid, did] = items[rng() % items.size()];
            if (choice == 5) {
                ASSERT_EQ(
                    0u, t.SetDetail(mid, did, ("t" + std::to_string(rng() % 3)).c_str(), nullptr));
            } else if (choice == 6) {
                const auto amt = static_cast<int32_t>(rng() % 4);
                ASSERT_EQ(0u, t.SetDetail(mid, did, nullptr, &amt));
            } else {
                ASSERT_EQ(0u, t.RemoveDetail(mid, did));
            }
        }
    }
}

const char* TextOrNull(const dstest::DecodedItem& item, std::string& keep) {
    if (item.status != 0) return nullptr;
    keep = item.str();
    return keep.c_str();
}

// Replays the detail rows found under one master row.
void ApplyDetails(NestedTable& t, int32_t id, const std::vector<DecodedRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const DecodedRow& row = rows[i];
        const int32_t did = row.items[kColDid].i32();
        if (row.status == 4) {
            ASSERT_EQ(0u,
                      t.AddDetail(id, did, row.items[kColText].str(), row.items[kColAmt].i32()));
        } else if (row.status == 2) {
            ASSERT_EQ(0u, t.RemoveDetail(id, did)) << "detail " << did;
        } else if (row.status == 1) {
            ASSERT_LT(i + 1, rows.size());
            const DecodedRow& next = rows[++i];
            ASSERT_EQ(8u, next.status);
            std::string text;
            const int32_t amt = next.items[kColAmt].i32();
            ASSERT_EQ(0u, t.SetDetail(id, did, TextOrNull(next.items[kColText], text),
                                      next.items[kColAmt].status == 0 ? &amt : nullptr))
                << "detail " << did;
        } else {
            FAIL() << "detail row status " << int{row.status};
        }
    }
}

// Replays a nested delta on a table by key: masters inserted before their
// details, details deleted before their master.
void ApplyDelta(NestedTable& t, const dstest::Decoded& d) {
    ASSERT_EQ(0u, d.result);
    for (size_t i = 0; i < d.rows.size(); ++i) {
        const DecodedRow& row = d.rows[i];
        const int32_t id = row.items[kColId].i32();
        const auto& details = row.items[kColItems].details;
        if (row.status == 4) {
            ASSERT_EQ(0u, t.AddMaster(id, row.items[kColName].str(), row.items[kColQty].i32()));
            ApplyDetails(t, id, details);
        } else if (row.status == 2) {
            ApplyDetails(t, id, details);
            ASSERT_EQ(0u, t.RemoveMaster(id)) << "master " << id;
        } else if (row.status == 64) {
            ApplyDetails(t, id, details);
        } else if (row.status == 1) {
            ASSERT_LT(i + 1, d.rows.size());
            const DecodedRow& next = d.rows[++i];
            ASSERT_EQ(8u, next.status);
            std::string name;
            const int32_t qty = next.items[kColQty].i32();
            ASSERT_EQ(0u, t.SetMaster(id, TextOrNull(next.items[kColName], name),
                                      next.items[kColQty].status == 0 ? &qty : nullptr));
            ApplyDetails(t, id, details);
            ApplyDetails(t, id, next.items[kColItems].details);
        } else {
            FAIL() << "master row status " << int{row.status};
        }
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// ---- nested error packets --------------------------------------------------------------

struct DetailError {
    uint32_t recordNo = 0;
};
struct MasterError {
    uint32_t recordNo = 0;
    uint32_t code = 0;  // 0: the master's change went through, only details failed
    std::vector<DetailError> details;
};

void ErrorFields(Builder& b, uint32_t recordNo, uint32_t code) {
    b.U32(recordNo);
    b.Blank();
    if (code != 0) {
        b.Str("failed");
    } else {
        b.Blank();
    }
    b.Blank();
    b.Blank();
    if (code != 0) {
        b.U32(code);
    } else {
        b.Blank();
    }
}

// An error packet whose rows carry no values of the remote side.
std::vector<uint8_t> NestedErrorPacket(const std::vector<MasterError>& rows) {
    Builder b;
    b.Begin(10);
    ErrorColumns(b);
    b.Col("ID", dstest::kInt32);
    b.Col("ITEMS", dstest::TableWord(9));
    ErrorColumns(b);
    b.Col("DID", dstest::kInt32);
    b.Col("TEXT", dstest::kString1);
    b.Width(8);
    b.Col("AMT", dstest::kInt32);
    b.Close();
    b.Col("NAME", dstest::kString1);
    b.Width(10);
    b.Col("QTY", dstest::kInt32);
    b.Close();
    for (const MasterError& m : rows) {
        b.Status(0);
        ErrorFields(b, m.recordNo, m.code);
        b.Blank();
        b.Rows(static_cast<uint32_t>(m.details.size()));
        for (const DetailError& e : m.details) {
            b.Status(0);
            ErrorFields(b, e.recordNo, 1);
            b.Blank();
            b.Blank();
            b.Blank();
        }
        b.Blank();
        b.Blank();
    }
    return b.Take();
}

struct MergeCalls {
    std::vector<std::pair<uint32_t, uint32_t>> depthAndKind;
    std::vector<std::vector<uint32_t>> paths;
};

uint32_t SkipAll(void* data, uint32_t, uint32_t kind, uint32_t, uint32_t, const char*, const char*,
                 void*, void*, void*, uint32_t depth, const uint32_t* path) {
    auto* calls = static_cast<MergeCalls*>(data);
    calls->depthAndKind.push_back({depth, kind});
    calls->paths.push_back(path != nullptr ? std::vector<uint32_t>(path, path + depth)
                                           : std::vector<uint32_t>{});
    return 1;
}

// One change a delta row stands for: (status, key); status 8 rows take the
// key of the status-1 row before them.
using Change = std::pair<uint8_t, int32_t>;

// The changes of a decoded delta, masters and details apart; status-64 rows
// say only that details changed and are left out.
void ChangesOf(const dstest::Decoded& d, std::multiset<Change>* masters,
               std::multiset<Change>* details) {
    for (size_t i = 0; i < d.rows.size(); ++i) {
        const DecodedRow& row = d.rows[i];
        for (size_t j = 0; j < row.items[kColItems].details.size(); ++j) {
            const auto& rows = row.items[kColItems].details;
            if (rows[j].status == 1) continue;
            const size_t key = rows[j].status == 8 ? j - 1 : j;
            details->insert({rows[j].status, rows[key].items[kColDid].i32()});
        }
        if (row.status == 1 || row.status == 64) continue;
        const size_t key = row.status == 8 ? i - 1 : i;
        masters->insert({row.status, d.rows[key].items[kColId].i32()});
    }
}

// ---- delta round trip ---------------------------------------------------------------------

TEST(NestedDelta, RandomSessionReplaysOnTheOriginal) {
    const std::vector<uint8_t> original = OriginalPacket();
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        NestedTable edited(original);
        RandomNestedSession(edited, rng, 6 + static_cast<int>(seed % 5) * 8);
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "seed " << seed;
        uint32_t r = 0;
        const std::vector<uint8_t> delta = edited.Delta(&r);
        if (r == DSERR_DELTAISEMPTY) {
            EXPECT_EQ(edited.Rows(), NestedTable(original).Rows()) << "seed " << seed;
            continue;
        }
        ASSERT_EQ(0u, r) << "seed " << seed;
        NestedTable copy(original);
        ApplyDelta(copy, dstest::Decode(delta));
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "seed " << seed;
        EXPECT_EQ(edited.Rows(), copy.Rows()) << "seed " << seed;
    }
}

TEST(NestedDelta, DetailChangeOfAMasterSetBackStillTravels) {
    // The master's own modification disappears (its values came back), the
    // detail change made in between must still reach the delta.
    const std::vector<uint8_t> original = OriginalPacket();
    for (bool detailFirst : {true, false}) {
        NestedTable edited(original);
        const int32_t qty = 3;
        const int32_t back = 2;
        if (detailFirst) {
            ASSERT_EQ(0u, edited.AddDetail(2, 50, "new", 1));
        }
        ASSERT_EQ(0u, edited.SetMaster(2, nullptr, &qty));
        if (!detailFirst) {
            ASSERT_EQ(0u, edited.AddDetail(2, 50, "new", 1));
        }
        ASSERT_EQ(0u, edited.SetMaster(2, nullptr, &back));
        uint32_t r = 0;
        const dstest::Decoded d = dstest::Decode(edited.Delta(&r));
        ASSERT_EQ(0u, r);
        ASSERT_EQ(1u, d.rows.size()) << "detail first " << detailFirst;
        EXPECT_EQ(64u, d.rows[0].status);
        ASSERT_EQ(1u, d.rows[0].items[kColItems].details.size());
        EXPECT_EQ(50, d.rows[0].items[kColItems].details[0].items[kColDid].i32());
        NestedTable copy(original);
        ApplyDelta(copy, d);
        EXPECT_EQ(edited.Rows(), copy.Rows());
    }
}

// ---- the nested reconcile -------------------------------------------------------------------

TEST(NestedReconcile, FailedDetailKeepsTheRowOfItsMergedMaster) {
    NestedTable t(OriginalPacket());
    ASSERT_EQ(0u, t.SetMaster(2, "renamed", nullptr));
    ASSERT_EQ(0u, t.AddDetail(2, 60, "late", 1));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    ASSERT_EQ(0u, r);
    const dstest::Decoded d = dstest::Decode(delta);
    ASSERT_EQ(2u, d.rows.size());
    ASSERT_EQ(1u, d.rows[1].items[kColItems].details.size()) << "under the new version";

    MergeCalls calls;
    enginetest::Packet dp(delta);
    enginetest::Packet ep(NestedErrorPacket({{2, 0, {{1}}}}));
    ASSERT_EQ(0u, ResultCode(t.ds()->MergeChanges(nullptr, dp.get(), ep.get(), &calls, SkipAll)));
    ASSERT_EQ(1u, calls.depthAndKind.size());
    EXPECT_EQ((std::pair<uint32_t, uint32_t>{1, 4}), calls.depthAndKind[0]);

    // The master's modification is settled; the failed insertion still
    // travels, under a row with the master's current values.
    const dstest::Decoded left = dstest::Decode(t.Delta(&r));
    ASSERT_EQ(0u, r);
    ASSERT_EQ(1u, left.rows.size());
    EXPECT_EQ(64u, left.rows[0].status);
    EXPECT_EQ(2, left.rows[0].items[kColId].i32());
    EXPECT_EQ("renamed", left.rows[0].items[kColName].str());
    const auto& details = left.rows[0].items[kColItems].details;
    ASSERT_EQ(1u, details.size());
    EXPECT_EQ(4u, details[0].status);
    EXPECT_EQ(60, details[0].items[kColDid].i32());
}

// An error packet without the detail's nested column: the detail is left out
// of the reconcile, the master's failure is still reported and kept.
TEST(NestedReconcile, ErrorPacketWithoutTheDetailColumnLeavesTheDetailOut) {
    NestedTable t(OriginalPacket());
    ASSERT_EQ(0u, t.SetMaster(2, "renamed", nullptr));
    ASSERT_EQ(0u, t.AddDetail(2, 60, "late", 1));
    uint32_t r = 0;
    const std::vector<uint8_t> delta = t.Delta(&r);
    ASSERT_EQ(0u, r);

    MergeCalls calls;
    enginetest::Packet dp(delta);
    // The flat error packet: the master's columns only.
    enginetest::Packet ep(deltatest::ErrorPacket({deltatest::Err(2, 1, 0, "failed")}));
    ASSERT_EQ(0u, ResultCode(t.ds()->MergeChanges(nullptr, dp.get(), ep.get(), &calls, SkipAll)));
    ASSERT_EQ(1u, calls.depthAndKind.size());
    EXPECT_EQ(0u, calls.depthAndKind[0].first);
    const dstest::Decoded left = dstest::Decode(t.Delta(&r));
    ASSERT_EQ(0u, r);
    ASSERT_FALSE(left.rows.empty()) << "the failed master change still travels";
    EXPECT_EQ(2, left.rows[0].items[kColId].i32());
}

TEST(NestedReconcile, ErrorPacketLeavesExactlyTheFailedChanges) {
    const std::vector<uint8_t> original = OriginalPacket();
    size_t detailCalls = 0;
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        std::mt19937 rng(seed * 7919);
        NestedTable t(original);
        RandomNestedSession(t, rng, 10 + static_cast<int>(seed % 4) * 8);
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "seed " << seed;
        uint32_t r = 0;
        const std::vector<uint8_t> delta = t.Delta(&r);
        if (r != 0) continue;
        const dstest::Decoded d = dstest::Decode(delta);

        // Fail about a third of the master and of the detail changes. Detail
        // rows are numbered in the order the packet holds them; a detail
        // failure reaches its level through an error row of its master.
        std::vector<MasterError> errors;
        std::multiset<Change> failedMasters;
        std::multiset<Change> failedDetails;
        uint32_t detailNo = 0;
        size_t expectedCalls = 0;
        for (size_t i = 0; i < d.rows.size(); ++i) {
            const DecodedRow& row = d.rows[i];
            MasterError m;
            m.recordNo = static_cast<uint32_t>(i + 1);
            if (row.status != 1 && row.status != 64 && rng() % 3 == 0) {
                m.code = 1;
                const size_t key = row.status == 8 ? i - 1 : i;
                failedMasters.insert({row.status, d.rows[key].items[kColId].i32()});
            }
            // Once a master is deleted, its details cannot have failed alone.
            const bool detailsMayFail = row.status != 2 || m.code != 0;
            const auto& rows = row.items[kColItems].details;
            for (size_t j = 0; j < rows.size(); ++j) {
                ++detailNo;
                if (rows[j].status == 1 || !detailsMayFail || rng() % 3 != 0) continue;
                m.details.push_back({detailNo});
                const size_t key = rows[j].status == 8 ? j - 1 : j;
                failedDetails.insert({rows[j].status, rows[key].items[kColDid].i32()});
            }
            if (row.status == 1 && !m.details.empty()) {
                // Details of a modified master go with its new version's row.
                ASSERT_LT(i + 1, d.rows.size());
                ++m.recordNo;
            }
            expectedCalls += m.details.size() + (m.code != 0 ? 1 : 0);
            if (m.code != 0 || !m.details.empty()) errors.push_back(m);
        }
        const Contents before = t.Rows();
        Ref<IDSBase> view;
        ASSERT_EQ(0u, ResultCode(t.ds()->MakeDerived(4, 1, 0, view.out())));
        MergeCalls calls;
        enginetest::Packet dp(delta);
        enginetest::Packet ep(NestedErrorPacket(errors));
        ASSERT_EQ(0u,
                  ResultCode(t.ds()->MergeChanges(view.get(), dp.get(), ep.get(), &calls, SkipAll)))
            << "seed " << seed;
        EXPECT_EQ(expectedCalls, calls.depthAndKind.size()) << "seed " << seed;
        for (size_t c = 0; c < calls.paths.size(); ++c) {
            if (calls.depthAndKind[c].first == 1) {
                ++detailCalls;
                EXPECT_EQ(std::vector<uint32_t>{kItems}, calls.paths[c]) << "seed " << seed;
            }
        }
        EXPECT_EQ(before, t.Rows()) << "skipping changes no values; seed " << seed;

        const std::vector<uint8_t> left = t.Delta(&r);
        std::multiset<Change> leftMasters;
        std::multiset<Change> leftDetails;
        if (r == 0) {
            ChangesOf(dstest::Decode(left), &leftMasters, &leftDetails);
        } else {
            EXPECT_EQ(DSERR_DELTAISEMPTY, r) << "seed " << seed;
        }
        EXPECT_EQ(failedMasters, leftMasters) << "seed " << seed;
        EXPECT_EQ(failedDetails, leftDetails) << "seed " << seed;
    }
    EXPECT_GT(detailCalls, 10u) << "the sessions fail too few detail changes";
}

}  // namespace
