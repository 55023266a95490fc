// Byte vectors with the SAFEARRAY layout. Header and data are one malloc
// block, so that any copy of this code (engine or caller) can free an array
// made by another.
#include "platform/safearray.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr uint16_t FADF_FIXEDSIZE_HEADER = 0x0080;  // data follows the header in one block
}

SAFEARRAY* SafeArrayCreateVector(uint16_t vt, int32_t lowerBound, uint32_t count) {
    if (vt != VT_UI1) return nullptr;
    void* block = std::calloc(1, sizeof(SAFEARRAY) + (count ? count : 1));
    if (!block) return nullptr;
    auto* array = static_cast<SAFEARRAY*>(block);
    array->cDims = 1;
    array->fFeatures = FADF_FIXEDSIZE_HEADER;
    array->cbElements = 1;
    array->cLocks = 0;
    array->pvData = static_cast<uint8_t*>(block) + sizeof(SAFEARRAY);
    array->rgsabound[0].cElements = count;
    array->rgsabound[0].lLbound = lowerBound;
    return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    if (array->cLocks) return DISP_E_ARRAYISLOCKED;
    if (!(array->fFeatures & FADF_FIXEDSIZE_HEADER)) std::free(array->pvData);
    std::free(array);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (!array || !data) return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    if (array->cLocks == 0) return E_INVALIDARG;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* upper) {
    if (!array || !upper) return E_INVALIDARG;
    if (dim != 1 || array->cDims != 1) return DISP_E_BADINDEX;
    *upper = array->rgsabound[0].lLbound + static_cast<int32_t>(array->rgsabound[0].cElements) - 1;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* lower) {
    if (!array || !lower) return E_INVALIDARG;
    if (dim != 1 || array->cDims != 1) return DISP_E_BADINDEX;
    *lower = array->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (array->cLocks) return DISP_E_ARRAYISLOCKED;
    uint32_t count = bound->cElements;
    void* data = std::malloc(count ? count : 1);
    if (!data) return E_OUTOFMEMORY;
    uint32_t keep = count < array->rgsabound[0].cElements ? count : array->rgsabound[0].cElements;
    std::memcpy(data, array->pvData, keep);
    if (count > keep) std::memset(static_cast<uint8_t*>(data) + keep, 0, count - keep);
    if (!(array->fFeatures & FADF_FIXEDSIZE_HEADER)) std::free(array->pvData);
    array->fFeatures &= static_cast<uint16_t>(~FADF_FIXEDSIZE_HEADER);
    array->pvData = data;
    array->rgsabound[0] = *bound;
    return S_OK;
}

SAFEARRAY* SafeArrayFromBytes(const void* bytes, uint32_t size) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, size);
    if (array && size) std::memcpy(array->pvData, bytes, size);
    return array;
}
