// A small table for aggregate tests: a group number, a name, an integer
// amount, a float price, a date and a packed-decimal cost; an index on the
// group number; a cursor; and a host through which the cursor reaches the
// aggregate operations. Expected values are recomputed from the records the
// index holds.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "../expr_builder.h"
#include "cursor/cursor.h"
#include "cursor/cursor_aggregates.h"
#include "dataset/dataset.h"
#include "index/index.h"
#include "store/bcd.h"
#include "store/record_buffer.h"

namespace pelmora {

enum : uint32_t { kGrp = 1, kName = 2, kAmount = 3, kPrice = 4, kDay = 5, kCost = 6 };

// Drives the aggregate operations through a cursor's public slots. It knows
// no key ranges: the range is the whole index.
class TestAggregateHost : public AggregateHost {
  public:
    explicit TestAggregateHost(TDSCursor* cursor) : cursor_(cursor) {}
    TDSBASE* AggregateDataset() override { return cursor_->dataset(); }
    DSIDX* AggregateCurrentIndex() override { return cursor_->current_index(); }
    void AggregateSync() override { cursor_->MoveBy(0); }
    uint32_t AggregatePosition() override {
        uint32_t record = 0;
        if (cursor_->ReadRecordNumber(&record) != DS_OK) {
            return AggregateStatus() == DSERR_EOF ? cursor_->current_index()->count() + 1 : 0;
        }
        return cursor_->current_index()->PositionOf(record);
    }
    uint32_t AggregateStatus() override { return cursor_->MoveBy(0); }
    uint32_t AggregateRangeFirst() override { return 1; }
    uint32_t AggregateRangeLast() override { return cursor_->current_index()->count(); }
    void AggregateStandOn(uint32_t position) override { cursor_->GoToOrdinal(position); }
    EngineResult CursorGoAfterLast() override { return cursor_->GoAfterLast(); }
    AggregateHandles& AggregateHandleTable() override { return handles_; }

  private:
    TDSCursor* cursor_;
    AggregateHandles handles_;
};

inline FieldDesc AggField(const char* name, uint32_t type, uint32_t units1 = 0,
                          uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

// One row's values; nullopt is blank.
struct AggRow {
    int32_t grp = 0;
    std::string name;
    std::optional<int32_t> amount;
    std::optional<double> price;
    std::optional<int32_t> day;
    std::optional<double> cost;
};

class AggTable {
  public:
    AggTable() : ds_(NewDataset()) {
        ds_->AddRef();
        const FieldDesc fields[] = {
            AggField("GRP", FLD_INT32),    AggField("NAME", FLD_STRING, 10),
            AggField("AMOUNT", FLD_INT32), AggField("PRICE", FLD_FLOAT),
            AggField("DAY", FLD_DATE),     AggField("COST", FLD_BCD, 10, 2),
        };
        EXPECT_EQ(ds_->DefineFields(6, fields, "AGG"), DS_OK);
        IndexDesc d{};
        std::strcpy(d.name, "BYGRP");
        d.fieldCount = 1;
        d.fields[0] = kGrp;
        EXPECT_EQ(ds_->MakeIndex(&d), DS_OK);
        cursor_ = NewCursor();
        cursor_->AddRef();
        EXPECT_EQ(cursor_->AttachDataset(ds_), DS_OK);
        host_ = std::make_unique<TestAggregateHost>(cursor_);
    }
    ~AggTable() {
        host_.reset();
        cursor_->Release();
        ds_->Release();
    }
    AggTable(const AggTable&) = delete;
    AggTable& operator=(const AggTable&) = delete;

    TDSBASE* ds() const { return ds_; }
    TDSCursor* cursor() const { return cursor_; }
    TestAggregateHost& host() const { return *host_; }

    std::vector<uint8_t> Buffer(const AggRow& row) const {
        std::vector<uint8_t> b(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), b.data());
        Put(b, kGrp, &row.grp);
        Put(b, kName, row.name.c_str());
        Put(b, kAmount, row.amount ? &*row.amount : nullptr);
        Put(b, kPrice, row.price ? &*row.price : nullptr);
        Put(b, kDay, row.day ? &*row.day : nullptr);
        if (row.cost) {
            uint8_t bcd[kBcdMaxBytes] = {};
            FloatToBcd(*row.cost, 10, 2, bcd);
            Put(b, kCost, bcd);
        }
        return b;
    }
    uint32_t Insert(const AggRow& row) const {
        uint32_t n = 0;
        EXPECT_EQ(ds_->InsertRecord(Buffer(row).data(), &n), DS_OK);
        return n;
    }
    uint32_t Modify(uint32_t record, const AggRow& row) const {
        uint32_t n = 0;
        EXPECT_EQ(ds_->ModifyRecord(record, Buffer(row).data(), &n), DS_OK);
        return n;
    }
    void Delete(uint32_t record) const { EXPECT_EQ(ds_->DeleteRecord(record), DS_OK); }

    // The row of a stored record.
    AggRow Row(uint32_t record) const {
        std::vector<uint8_t> b(ds_->record_size());
        EXPECT_EQ(ds_->ReadRecord(record, b.data()), DS_OK);
        AggRow row;
        row.grp = Get<int32_t>(b, kGrp).value_or(0);
        char name[11] = {};
        uint8_t ind = 1;
        ReadBufferValue(ds_->fields(), b.data(), kName, name, &ind);
        row.name = name;
        row.amount = Get<int32_t>(b, kAmount);
        row.price = Get<double>(b, kPrice);
        row.day = Get<int32_t>(b, kDay);
        uint8_t bcd[kBcdMaxBytes] = {};
        ReadBufferValue(ds_->fields(), b.data(), kCost, bcd, &ind);
        if (ind == 0) {
            long double v = 0;
            BcdToFloat(bcd, sizeof bcd, v);
            row.cost = static_cast<double>(v);
        }
        return row;
    }

    // Record numbers of an index's entries in position order.
    static std::vector<uint32_t> Entries(const DSIDX& index) {
        std::vector<uint32_t> out;
        for (uint32_t p = 1; p <= index.count(); ++p) out.push_back(index.EntryAt(p));
        return out;
    }

    // Aggregate expression bytes: function(field), or count(*) for an empty name.
    static std::vector<uint8_t> Expr(const std::string& function, const std::string& field) {
        exprbuild::ExprBuilder b;
        if (field.empty()) return b.Build(b.Function(function, {}));
        return b.Build(b.Function(function, {b.Field(field)}));
    }

    EngineResult Attach(uint32_t level, const std::vector<uint8_t>& bytes, uint32_t* handle) const {
        return AttachAggregate(*host_, level, static_cast<uint32_t>(bytes.size()), bytes.data(),
                               handle);
    }
    // Reads an aggregate as a double (blank: nullopt); fails the test on an error.
    std::optional<double> Read(uint32_t handle, uint32_t type) const {
        uint8_t value[64] = {};
        uint32_t blank = 7;
        const EngineResult r = ReadAggregateValue(*host_, handle, value, &blank);
        EXPECT_EQ(r, DS_OK);
        EXPECT_TRUE(blank == 0 || blank == 1);
        if (r != DS_OK || blank != 0) return std::nullopt;
        switch (type) {
            case FLD_INT32:
            case FLD_DATE: {
                int32_t v;
                std::memcpy(&v, value, 4);
                return v;
            }
            case FLD_BCD: {
                long double v = 0;
                BcdToFloat(value, sizeof value, v);
                return static_cast<double>(v);
            }
            default: {
                double v;
                std::memcpy(&v, value, 8);
                return v;
            }
        }
    }

  private:
    void Put(std::vector<uint8_t>& b, uint32_t field, const void* value) const {
        EXPECT_EQ(WriteBufferValue(ds_->fields(), b.data(), field, value), DS_OK);
    }
    template <class T>
    std::optional<T> Get(const std::vector<uint8_t>& b, uint32_t field) const {
        T v{};
        uint8_t ind = 1;
        ReadBufferValue(ds_->fields(), b.data(), field, &v, &ind);
        if (ind != 0) return std::nullopt;
        return v;
    }

    TDSBASE* ds_;
    TDSCursor* cursor_ = nullptr;
    std::unique_ptr<TestAggregateHost> host_;
};

}  // namespace pelmora
