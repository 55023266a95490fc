// A small dataset for expression tests: one field of each value type, a
// structured field with a child (for dotted names), and record buffers in
// its layout filled by field name.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../expr_builder.h"
#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "store/blob_table.h"
#include "store/record_buffer.h"

namespace pelmora {

inline FieldDesc ExprTestField(const char* name, uint32_t type, uint32_t units1 = 0,
                               uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

class ExprTable {
  public:
    ExprTable() : ds_(NewDataset()) {
        ds_->AddRef();
        const FieldDesc fields[] = {
            ExprTestField("NAME", FLD_STRING, 20), ExprTestField("AMOUNT", FLD_INT32),
            ExprTestField("CODE", FLD_STRING, 10), ExprTestField("PRICE", FLD_FLOAT),
            ExprTestField("QTY", FLD_INT16),       ExprTestField("DAY", FLD_DATE),
            ExprTestField("AT", FLD_TIMESTAMP),    ExprTestField("CLOCK", FLD_TIME),
            ExprTestField("FLAG", FLD_BOOL16),     ExprTestField("COST", FLD_BCD, 10, 2),
            ExprTestField("MEMO", FLD_BLOB),       ExprTestField("WIDE", FLD_UNICODE, 20),
            ExprTestField("RAW", FLD_BYTES, 4),    ExprTestField("ADDR", FLD_ADT, 1),
            ExprTestField("CITY", FLD_STRING, 12), ExprTestField("SMALL", FLD_UINT8),
        };
        EXPECT_EQ(ds_->DefineFields(sizeof fields / sizeof fields[0], fields, "E"), DS_OK);
    }
    ~ExprTable() { ds_->Release(); }
    ExprTable(const ExprTable&) = delete;
    ExprTable& operator=(const ExprTable&) = delete;

    TDSBASE* ds() const { return ds_; }

    uint32_t FieldNumber(const char* name) const {
        for (uint32_t k = 0; k < ds_->field_count(); ++k) {
            if (std::strcmp(ds_->fields()[k].name, name) == 0) return k + 1;
        }
        ADD_FAILURE() << "no field " << name;
        return 0;
    }

    // A record buffer with every field blank.
    std::vector<uint8_t> Blank() const {
        std::vector<uint8_t> row(ds_->record_size());
        ClearRecordBuffer(ds_->fields(), row.data());
        return row;
    }
    void Set(std::vector<uint8_t>& row, const char* name, const void* value) const {
        EXPECT_EQ(WriteBufferValue(ds_->fields(), row.data(), FieldNumber(name), value), DS_OK);
    }
    template <class T>
    void SetValue(std::vector<uint8_t>& row, const char* name, T value) const {
        Set(row, name, &value);
    }
    void SetText(std::vector<uint8_t>& row, const char* name, const std::string& text) const {
        Set(row, name, text.c_str());
    }
    void SetWide(std::vector<uint8_t>& row, const char* name, const std::u16string& text) const {
        std::vector<uint8_t> v(2 + 2 * text.size());
        const uint16_t n = static_cast<uint16_t>(2 * text.size());
        std::memcpy(v.data(), &n, 2);
        if (!text.empty()) std::memcpy(v.data() + 2, text.data(), n);
        Set(row, name, v.data());
    }
    // Stores bytes in the BLOB table and puts the reference into the field.
    void SetBlob(std::vector<uint8_t>& row, const char* name, const std::string& bytes) const {
        uint32_t ref = 0;
        ASSERT_NE(ds_->blobs(), nullptr);
        ASSERT_EQ(ds_->blobs()->Add(bytes.data(), static_cast<uint32_t>(bytes.size()), ref), DS_OK);
        SetValue(row, name, ref);
    }
    // Inserts a record into the store; returns its record number.
    uint32_t Insert(const std::vector<uint8_t>& row) const {
        uint32_t n = 0;
        EXPECT_EQ(ds_->InsertRecord(row.data(), &n), DS_OK);
        return n;
    }

    // Compiles an expression: the result code, and the filter on success.
    EngineResult Compile(const std::vector<uint8_t>& bytes, std::unique_ptr<QCanFilter>* out,
                         CompileMode mode = CompileMode::Filter) const {
        auto filter = std::make_unique<QCanFilter>(ds_);
        const EngineResult r = filter->Compile(bytes.data(), bytes.size(), mode);
        if (r == DS_OK && out != nullptr) *out = std::move(filter);
        return r;
    }
    EngineResult CompileCode(const std::vector<uint8_t>& bytes,
                             CompileMode mode = CompileMode::Filter) const {
        return Compile(bytes, nullptr, mode);
    }
    // Compiles (which must succeed) and evaluates over a record.
    bool Passes(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& row) const {
        std::unique_ptr<QCanFilter> filter;
        const EngineResult r = Compile(bytes, &filter);
        EXPECT_EQ(r, DS_OK);
        return r == DS_OK && filter->Evaluate(row.data());
    }

  private:
    TDSBASE* ds_;
};

}  // namespace pelmora
