// Per-type comparator objects used by indexes: one object per key field,
// ordering two values of that field (null = blank, which sorts first) and
// copying a value into a key buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "pelmora/pelmora.h"

namespace platform {
class Collation;
}

namespace pelmora {

class FLDObj {
  public:
    FLDObj(uint32_t type, uint32_t width, bool descending)
        : type_(type), width_(width), descending_(descending) {}
    virtual ~FLDObj() = default;

    // -1, 0 or 1; a blank sorts before any value, the result is negated when
    // the key is descending.
    virtual int Compare(const void* a, const void* b) const;
    // Copies the value's significant bytes.
    virtual void CopyValue(void* destination, const void* source) const;

    uint32_t type() const { return type_; }
    uint32_t width() const { return width_; }
    bool descending() const { return descending_; }

  protected:
    // Ascending order of two non-blank values. The base orders bytewise.
    virtual int Order(const uint8_t* a, const uint8_t* b) const;

  private:
    uint32_t type_;
    uint32_t width_;
    bool descending_;
};

// Fixed-width integers: T is the value type, read from the first sizeof(T) bytes.
template <typename T>
class FLDInteger : public FLDObj {
  public:
    using FLDObj::FLDObj;
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;
};

using FLDInt8 = FLDInteger<int8_t>;
using FLDUInt8 = FLDInteger<uint8_t>;
using FLDInt16 = FLDInteger<int16_t>;
using FLDUInt16 = FLDInteger<uint16_t>;
using FLDInt32 = FLDInteger<int32_t>;
using FLDUInt32 = FLDInteger<uint32_t>;
using FLDInt64 = FLDInteger<int64_t>;
using FLDUInt64 = FLDInteger<uint64_t>;

class FLDFloat : public FLDObj {
  public:
    using FLDObj::FLDObj;
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;
};

class FLDBcd : public FLDObj {
  public:
    using FLDObj::FLDObj;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;
};

class FLDString : public FLDObj {
  public:
    FLDString(uint32_t width, bool descending, bool caseInsensitive,
              const platform::Collation* collation)
        : FLDObj(FLD_STRING, width, descending),
          caseInsensitive_(caseInsensitive),
          collation_(collation) {}
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;

  private:
    bool caseInsensitive_;
    const platform::Collation* collation_;
};

class FLDUniCode : public FLDObj {
  public:
    FLDUniCode(uint32_t width, bool descending, bool caseInsensitive,
               const platform::Collation* collation)
        : FLDObj(FLD_UNICODE, width, descending),
          caseInsensitive_(caseInsensitive),
          collation_(collation) {}
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;

  private:
    bool caseInsensitive_;
    const platform::Collation* collation_;
};

class FLDVarBytes : public FLDObj {
  public:
    using FLDObj::FLDObj;
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t* a, const uint8_t* b) const override;
};

// BLOB values only tell blank from non-blank; any two non-blank ones are equal.
class FLDBlob : public FLDObj {
  public:
    using FLDObj::FLDObj;
    void CopyValue(void* destination, const void* source) const override;

  protected:
    int Order(const uint8_t*, const uint8_t*) const override { return 0; }
};

// Makes the comparator for a laid-out key field. 10000 for BLOB, structured,
// array, reference and nested-dataset fields, 9473 when memory runs out.
// collation must outlive the comparator; strings order bytewise without one.
EngineResult MakeComparator(const FieldDesc& field, bool descending, bool caseInsensitive,
                            const platform::Collation* collation, std::unique_ptr<FLDObj>& out);

}  // namespace pelmora
