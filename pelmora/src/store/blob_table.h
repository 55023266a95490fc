// The BLOB table of a dataset: variable-length values kept outside the
// fixed-width record slots. A record holds a 32-bit reference: 1..count names
// an entry; a value with the top bit set marks a BLOB whose bytes were not
// delivered (its low 31 bits the announced length). References are handed out
// in sequence and only come back through rollback or discarding the last one.
#pragma once

#include <cstdint>
#include <vector>

#include "pelmora/pelmora.h"

namespace pelmora {

class BlobTable {
  public:
    // Copies length bytes into a new entry; ref receives its reference. 9473
    // when memory runs out (the table is unchanged).
    EngineResult Add(const void* bytes, uint32_t length, uint32_t& ref);

    // Copies min(length, entry length - offset) bytes from offset; length
    // receives the number copied (0 when offset is at or past the end).
    EngineResult Read(uint32_t ref, uint32_t offset, void* buffer, uint32_t& length) const;

    // Writes length bytes at offset: past the end the entry grows to
    // offset + length; inside it the bytes are overwritten and the entry keeps
    // its length; no bytes empty the entry. 9985 for offset past the end.
    EngineResult Write(uint32_t ref, uint32_t offset, const void* bytes, uint32_t length);

    EngineResult Length(uint32_t ref, uint32_t& length) const;

    // equal: same length and bytes, or two identical not-fetched references.
    EngineResult Compare(uint32_t a, uint32_t b, bool& equal) const;

    // Frees every entry; count and commit mark return to 0.
    void Reset();
    // Entries up to the current count survive a later rollback.
    void Commit() { mark_ = count(); }
    // Frees every entry added after the commit mark.
    void Rollback();
    // Frees ref when it is the last entry; a valid earlier reference is left alone.
    EngineResult DiscardLast(uint32_t ref);

    uint32_t count() const { return static_cast<uint32_t>(entries_.size()); }
    uint32_t commit_mark() const { return mark_; }

  private:
    // 0 with the entry, or 10030 / 16393 for a reference that names none.
    EngineResult Check(uint32_t ref) const;

    std::vector<std::vector<uint8_t>> entries_;
    uint32_t mark_ = 0;
};

}  // namespace pelmora
