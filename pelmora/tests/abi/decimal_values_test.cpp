// Packed decimals and default values of another type through the interface:
// a float default cut to the field's places as its decimal text reads, a
// date default for a timestamp field, and a packed-decimal sum that no longer
// fits its field.
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

enum : uint32_t { kCost = 1, kAt = 2, kQty = 3 };

// The value of a packed decimal as digits with a point ("-12.34").
std::string DecimalText(const uint8_t* bcd) {
    const uint32_t precision = bcd[0];
    const uint32_t places = bcd[1] & 0x3F;
    std::string digits;
    for (uint32_t i = 0; i < precision; ++i) {
        const uint8_t byte = bcd[2 + i / 2];
        digits += static_cast<char>('0' + (i % 2 == 0 ? byte >> 4 : byte & 0x0F));
    }
    digits.insert(digits.size() - places, ".");
    const size_t first = std::min(digits.find_first_not_of('0'), digits.find('.') - 1);
    return ((bcd[1] & 0x80) != 0 ? "-" : "") + digits.substr(first);
}

// A default-value entry for a field: no message, the field, not required,
// then the expression.
std::vector<uint8_t> DefaultEntry(uint32_t field, const std::vector<uint8_t>& expression) {
    std::vector<uint8_t> blob(9 + expression.size());
    const uint32_t none = 0;
    std::memcpy(blob.data(), &none, 4);
    std::memcpy(blob.data() + 4, &field, 4);
    std::copy(expression.begin(), expression.end(), blob.begin() + 9);
    return blob;
}

class DecimalValuesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        *ds_.out() = Engine::Get().NewDataset();
        ASSERT_TRUE(ds_);
        const FieldDesc fields[] = {dstest::Field("COST", FLD_BCD, 6, 2),
                                    dstest::Field("AT", FLD_TIMESTAMP),
                                    dstest::Field("QTY", FLD_INT32)};
        ASSERT_EQ(0u, ResultCode(ds_->DefineFields(3, fields, "D")));
        *cur_.out() = Engine::Get().NewCursor();
        ASSERT_EQ(0u, ResultCode(cur_->AttachDataset(ds_.get())));
        DatasetProps props{};
        cur_->ReadCursorProps(&props);
        size_ = props.recordSize;
    }

    // Each stored default adds an entry; the last one for a field is applied
    // last and so wins.
    void SetDefault(uint32_t field, const std::vector<uint8_t>& expression) {
        const std::vector<uint8_t> blob = DefaultEntry(field, expression);
        ASSERT_EQ(0u,
                  ResultCode(ds_->StoreParameter(0, "VRKDEFAULT_CL", dstest::kBlob,
                                                 static_cast<uint32_t>(blob.size()), blob.data())));
    }

    std::string PreparedCost() {
        std::vector<uint8_t> rec(size_);
        EXPECT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
        uint8_t bcd[34] = {};
        uint32_t blank = 9;
        cur_->ReadFieldValue(rec.data(), kCost, bcd, &blank);
        return blank == 0 ? DecimalText(bcd) : "<blank>";
    }

    Ref<IDSBase> ds_;
    Ref<IDSCursor> cur_;
    uint32_t size_ = 0;
};

TEST_F(DecimalValuesTest, FloatDefaultIsCutAsItsDecimalTextReads) {
    for (const auto& [value, expected] :
         std::vector<std::pair<double, std::string>>{{0.29, "0.29"},
                                                     {1.15, "1.15"},
                                                     {4.35, "4.35"},
                                                     {-4.35, "-4.35"},
                                                     {12.349, "12.34"},
                                                     {7, "7.00"}}) {
        ExprBuilder b;
        SetDefault(kCost, b.Build(b.Float(value)));
        EXPECT_EQ(PreparedCost(), expected) << value;
    }
    // Too many digits for (6, 2): the record cannot be prepared with a wrong
    // value, so it is refused.
    ExprBuilder big;
    SetDefault(kCost, big.Build(big.Float(123456.0)));
    std::vector<uint8_t> rec(size_);
    EXPECT_NE(0u, ResultCode(cur_->PrepareRecord(rec.data())));
}

TEST_F(DecimalValuesTest, DateDefaultFillsATimestampField) {
    ExprBuilder b;
    SetDefault(kAt, b.Build(b.Date(730000)));
    std::vector<uint8_t> rec(size_);
    ASSERT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
    double at = 0;
    uint32_t blank = 9;
    cur_->ReadFieldValue(rec.data(), kAt, &at, &blank);
    EXPECT_EQ(0u, blank);
    EXPECT_EQ(at, 730000.0 * 86400000.0);
}

TEST_F(DecimalValuesTest, SumBeyondTheFieldsPrecisionIsBlank) {
    ExprBuilder b;
    const std::vector<uint8_t> sum = b.Build(b.Function("SUM", {b.Field("COST")}));
    uint32_t handle = 0;
    ASSERT_EQ(0u, ResultCode(cur_->AttachAggregate(0, static_cast<uint32_t>(sum.size()), sum.data(),
                                                   &handle)));
    for (int i = 0; i < 3; ++i) {
        ExprBuilder v;
        SetDefault(kCost, v.Build(v.Float(4000.25)));
        std::vector<uint8_t> rec(size_);
        ASSERT_EQ(0u, ResultCode(cur_->PrepareRecord(rec.data())));
        ASSERT_EQ(0u, ResultCode(cur_->AddRecord(rec.data())));
        uint8_t value[34] = {};
        uint32_t blank = 9;
        ASSERT_EQ(0u, ResultCode(cur_->ReadAggregateValue(handle, value, &blank)));
        if (i < 2) {
            EXPECT_EQ(0u, blank);
            EXPECT_EQ(DecimalText(value), i == 0 ? "4000.25" : "8000.50");
        } else {
            EXPECT_NE(0u, blank) << "12000.75 does not fit (6, 2): " << DecimalText(value);
        }
    }
}

}  // namespace
