// A small editable table for the delta, reconcile and refresh tests: a
// dataset (ID, NAME, QTY) with ID as primary key, edited through a cursor,
// and read back as a map from ID to values.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dataset_test_support.h"

namespace deltatest {

using dstest::Builder;
using dstest::Field;
using enginetest::Engine;
using enginetest::Ref;

enum : uint32_t { kId = 1, kName = 2, kQty = 3 };

using Values = std::pair<std::string, int32_t>;
using Contents = std::map<int32_t, Values>;

// A packet of (ID, NAME, QTY) rows, with ID as primary key unless told not to.
inline std::vector<uint8_t> TablePacket(const std::vector<std::pair<int32_t, Values>>& rows,
                                        bool primaryKey = true) {
    Builder b;
    b.Begin(3);
    b.Col("ID", dstest::kInt32);
    b.Col("NAME", dstest::kString1);
    b.Width(10);
    b.Col("QTY", dstest::kInt32);
    if (primaryKey) b.KeyList("PRIMARY_KEY", {1});
    b.Close();
    for (const auto& [id, values] : rows) {
        b.Status(0);
        b.I32(id);
        b.Str(values.first);
        b.I32(values.second);
    }
    return b.Take();
}

// A dataset's delta as packet bytes (empty on failure; *result gets the code).
inline std::vector<uint8_t> DeltaBytes(IDSBase* ds, uint32_t* result) {
    Ref<IDSBase> delta;
    *result = ResultCode(ds->MakeDelta(delta.out()));
    if (*result != 0) return {};
    return dstest::Write(delta.get());
}

class Table {
  public:
    explicit Table(const std::vector<uint8_t>& packet) {
        uint32_t r = 0;
        *ds_.out() = dstest::Load(packet, &r);
        EXPECT_EQ(0u, r);
        Attach();
    }
    explicit Table(IDSBase* adopted) {
        *ds_.out() = adopted;
        Attach();
    }

    IDSBase* ds() const { return ds_.get(); }
    IDSCursor* cur() const { return cur_.get(); }
    uint32_t size() const { return size_; }

    std::vector<uint8_t> Record(int32_t id, const std::string& name, int32_t qty) {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
        cur_->WriteFieldValue(rec.data(), kId, &id);
        cur_->WriteFieldValue(rec.data(), kName, name.c_str());
        cur_->WriteFieldValue(rec.data(), kQty, &qty);
        return rec;
    }
    uint32_t Add(int32_t id, const std::string& name, int32_t qty) {
        const std::vector<uint8_t> rec = Record(id, name, qty);
        return ResultCode(cur_->AddRecord(rec.data()));
    }
    // Moves to the record with an ID; false when there is none.
    bool Find(int32_t id) {
        cur_->GoBeforeFirst();
        std::vector<uint8_t> rec(size_);
        while (ResultCode(cur_->MoveBy(1)) == 0) {
            cur_->ReadCurrentRecord(rec.data());
            int32_t v = 0;
            uint32_t blank = 0;
            cur_->ReadFieldValue(rec.data(), kId, &v, &blank);
            if (blank == 0 && v == id) return true;
        }
        return false;
    }
    uint32_t Set(int32_t id, const char* name, const int32_t* qty) {
        if (!Find(id)) return DSERR_RECNOTFOUND;
        std::vector<uint8_t> rec(size_);
        cur_->ReadCurrentRecord(rec.data());
        if (name != nullptr) cur_->WriteFieldValue(rec.data(), kName, name);
        if (qty != nullptr) cur_->WriteFieldValue(rec.data(), kQty, qty);
        return ResultCode(cur_->UpdateCurrentRecord(rec.data()));
    }
    uint32_t SetQty(int32_t id, int32_t qty) { return Set(id, nullptr, &qty); }
    uint32_t Remove(int32_t id) {
        if (!Find(id)) return DSERR_RECNOTFOUND;
        return ResultCode(cur_->RemoveCurrentRecord());
    }
    Contents Rows() {
        Contents out;
        cur_->GoBeforeFirst();
        std::vector<uint8_t> rec(size_);
        while (ResultCode(cur_->MoveBy(1)) == 0) {
            cur_->ReadCurrentRecord(rec.data());
            int32_t id = 0;
            int32_t qty = 0;
            char name[11] = {};
            uint32_t blank = 0;
            cur_->ReadFieldValue(rec.data(), kId, &id, &blank);
            cur_->ReadFieldValue(rec.data(), kName, name, &blank);
            cur_->ReadFieldValue(rec.data(), kQty, &qty, &blank);
            out[id] = {name, blank != 0 ? -1 : qty};
        }
        return out;
    }
    uint32_t ChangeCount() { return dstest::Prop(ds_.get(), 2); }
    std::vector<uint8_t> Delta(uint32_t* result) { return DeltaBytes(ds_.get(), result); }

  private:
    void Attach() {
        *cur_.out() = Engine::Get().NewCursor();
        EXPECT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
    }
    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

// One error row of an error packet: the delta row it names, the code, the
// response and, optionally, the record's values at the remote side.
struct ErrorRow {
    uint32_t recordNo = 0;
    uint32_t code = 0;
    uint32_t response = 0;
    std::string message;
    bool hasValues = false;
    int32_t id = 0;
    std::string name;
    int32_t qty = 0;
};

inline ErrorRow Err(uint32_t recordNo, uint32_t code, uint32_t response, std::string message) {
    ErrorRow e;
    e.recordNo = recordNo;
    e.code = code;
    e.response = response;
    e.message = std::move(message);
    return e;
}

// An error row carrying the remote side's values.
inline ErrorRow ErrWith(uint32_t recordNo, uint32_t code, int32_t id, std::string name,
                        int32_t qty) {
    ErrorRow e = Err(recordNo, code, 0, "changed elsewhere");
    e.hasValues = true;
    e.id = id;
    e.name = std::move(name);
    e.qty = qty;
    return e;
}

// The six columns every error packet starts with.
inline void ErrorColumns(Builder& b) {
    b.Col("ERROR_RECORDNO", dstest::kUint32);
    b.Col("ERROR_RESPONSE", dstest::kUint32);
    b.Col("ERROR_MESSAGE", dstest::kString1);
    b.Width(255);
    b.Col("ERROR_CONTEXT", dstest::kString1);
    b.Width(127);
    b.Col("ERROR_CATEGORY", dstest::kUint32);
    b.Col("ERROR_CODE", dstest::kUint32);
}

inline std::vector<uint8_t> ErrorPacket(const std::vector<ErrorRow>& rows) {
    Builder b;
    b.Begin(9);
    ErrorColumns(b);
    b.Col("ID", dstest::kInt32);
    b.Col("NAME", dstest::kString1);
    b.Width(10);
    b.Col("QTY", dstest::kInt32);
    b.Close();
    for (const ErrorRow& e : rows) {
        b.Status(0);
        b.U32(e.recordNo);
        b.U32(e.response);
        b.Str(e.message);
        b.Blank();
        b.Blank();
        b.U32(e.code);
        if (e.hasValues) {
            b.I32(e.id);
            b.Str(e.name);
            b.I32(e.qty);
        } else {
            b.Blank();
            b.Blank();
            b.Blank();
        }
    }
    return b.Take();
}

}  // namespace deltatest
