// One-dimensional byte arrays with the Windows SAFEARRAY memory layout: the
// form in which datapackets cross the engine boundary. The receiver of an
// array owns it and frees it with SafeArrayDestroy.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com.h"

// Natural alignment, as callers declare the struct themselves: on 64-bit
// targets four bytes of padding follow cLocks, so pvData sits at 16.
struct SAFEARRAYBOUND {
    uint32_t cElements;
    int32_t lLbound;
};
struct SAFEARRAY {
    uint16_t cDims;
    uint16_t fFeatures;
    uint32_t cbElements;
    uint32_t cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

static_assert(sizeof(SAFEARRAYBOUND) == 8);
static_assert(offsetof(SAFEARRAY, cDims) == 0);
static_assert(offsetof(SAFEARRAY, fFeatures) == 2);
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, cLocks) == 8);
static_assert(offsetof(SAFEARRAY, pvData) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(SAFEARRAY, rgsabound) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(sizeof(SAFEARRAY) == (sizeof(void*) == 8 ? 32 : 24));

constexpr uint16_t VT_UI1 = 17;
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000Du);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);

// Creates a zero-filled vector of `count` elements of the given variant type
// (only VT_UI1 is supported); null when memory cannot be had.
SAFEARRAY* SafeArrayCreateVector(uint16_t vt, int32_t lowerBound, uint32_t count);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* upper);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* lower);
// Shrinks or grows the array's only dimension, keeping the leading bytes.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound);

// Convenience for callers: a new byte array holding a copy of `size` bytes.
SAFEARRAY* SafeArrayFromBytes(const void* bytes, uint32_t size);
