// Fuzz target: arbitrary bytes compiled as a canonical expression (as a
// filter, as an aggregate expression and behind a constraint header) and
// evaluated over a few records of a fixed dataset, some of them blank.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "dataset/dataset.h"
#include "expr/expr_compile.h"
#include "expr/filter_list.h"
#include "store/blob_table.h"
#include "store/record_buffer.h"

namespace {

using namespace pelmora;

FieldDesc Field(const char* name, uint32_t type, uint32_t units1 = 0, uint32_t units2 = 0) {
    FieldDesc f{};
    std::strncpy(f.name, name, sizeof f.name - 1);
    f.type = type;
    f.units1 = units1;
    f.units2 = units2;
    return f;
}

struct Fixture {
    TDSBASE* ds = nullptr;
    std::vector<std::vector<uint8_t>> rows;

    Fixture() {
        ds = NewDataset();
        ds->AddRef();
        // Short names so that random literal bytes find them now and then.
        const FieldDesc fields[] = {
            Field("S", FLD_STRING, 8),  Field("I", FLD_INT32),      Field("F", FLD_FLOAT),
            Field("H", FLD_INT16),      Field("D", FLD_DATE),       Field("T", FLD_TIME),
            Field("TS", FLD_TIMESTAMP), Field("B", FLD_BOOL16),     Field("C", FLD_BCD, 8, 2),
            Field("M", FLD_BLOB),       Field("W", FLD_UNICODE, 6), Field("R", FLD_BYTES, 3),
            Field("A", FLD_ADT, 1),     Field("X", FLD_STRING, 4),  Field("U", FLD_UINT8),
        };
        if (ds->DefineFields(sizeof fields / sizeof fields[0], fields, "FUZZ") != DS_OK) return;
        const auto& f = ds->fields();
        const uint32_t n = ds->record_size();
        // An all-blank record, a record of typical values, and one of
        // extreme values.
        rows.emplace_back(n);
        ClearRecordBuffer(f, rows.back().data());
        rows.emplace_back(n);
        Fill(rows.back(), "ab%_c", 7, 0.5, 3, 738000, 3600000, 738000.0 * 86400000, 1, "hello");
        rows.emplace_back(n);
        Fill(rows.back(), "", INT32_MIN, -1e308, INT16_MIN, INT32_MAX, 86399999, -1.0, 0, "");
    }
    ~Fixture() { ds->Release(); }

    void Fill(std::vector<uint8_t>& row, const char* s, int32_t i, double f, int16_t h, int32_t d,
              int32_t t, double ts, int16_t b, const char* memo) {
        const auto& fields = ds->fields();
        ClearRecordBuffer(fields, row.data());
        WriteBufferValue(fields, row.data(), 1, s);
        WriteBufferValue(fields, row.data(), 2, &i);
        WriteBufferValue(fields, row.data(), 3, &f);
        WriteBufferValue(fields, row.data(), 4, &h);
        WriteBufferValue(fields, row.data(), 5, &d);
        WriteBufferValue(fields, row.data(), 6, &t);
        WriteBufferValue(fields, row.data(), 7, &ts);
        WriteBufferValue(fields, row.data(), 8, &b);
        const uint8_t bcd[7] = {8, 2, 0x12, 0x34, 0x56, 0x78, 0};
        WriteBufferValue(fields, row.data(), 9, bcd);
        uint32_t ref = 0;
        if (ds->blobs() != nullptr &&
            ds->blobs()->Add(memo, static_cast<uint32_t>(std::strlen(memo)), ref) == DS_OK) {
            WriteBufferValue(fields, row.data(), 10, &ref);
        }
        const uint8_t wide[14] = {6, 0, 'a', 0, 'b', 0, 'c', 0};
        WriteBufferValue(fields, row.data(), 11, wide);
        const uint8_t raw[3] = {1, 2, 3};
        WriteBufferValue(fields, row.data(), 12, raw);
        WriteBufferValue(fields, row.data(), 14, "xy");
        const uint16_t u = 250;
        WriteBufferValue(fields, row.data(), 15, &u);
    }
};

// Where result bytes are folded to, so that reading them is not optimised away.
volatile uint8_t g_sink = 0;

void Exercise(QCanFilter& filter, const std::vector<std::vector<uint8_t>>& rows) {
    for (const auto& row : rows) {
        filter.Evaluate(row.data());
        const uint8_t* value = filter.ResultValue(row.data());
        if (value != nullptr && filter.result_width() != 0) {
            // Touch every byte of the result: it must be readable.
            uint8_t folded = 0;
            for (uint32_t k = 0; k < filter.result_width(); ++k) folded ^= value[k];
            g_sink = folded;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    if (fixture.rows.empty()) return 0;
    // Copy into a buffer of exactly `size` bytes so that any read past the
    // end is caught.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(bytes.get(), data, size);

    for (CompileMode mode : {CompileMode::Filter, CompileMode::Aggregate}) {
        QCanFilter filter(fixture.ds);
        if (filter.Compile(bytes.get(), size, mode) == DS_OK) Exercise(filter, fixture.rows);
    }
    // The same bytes as a constraint blob, through a filter list.
    DSCONSTR list(fixture.ds);
    if (list.AddExpression(bytes.get(), static_cast<uint32_t>(size), 1, nullptr) == DS_OK) {
        for (const auto& row : fixture.rows) list.RecordPasses(row.data());
        list.RecompileAll();
    }
    return 0;
}
