#include "com/quilmet.h"

#include "cursor/cursor.h"
#include "dataset/dataset.h"

namespace pelmora {

// The object is handed out with count 0: the caller takes the first reference.
EngineResult TQuilmet::MakeDataset(IDSBase** out) {
    if (!out) return DSERR_INVALIDPARAM;
    *out = NewDataset();
    return *out ? DS_OK : DSERR_NOMEMORY;
}

EngineResult TQuilmet::MakeCursor(IDSBase* dataset, IDSCursor** out) {
    if (!out) return DSERR_INVALIDPARAM;
    TDSCursor* cursor = NewCursor();
    *out = cursor;
    if (!cursor) return DSERR_NOMEMORY;
    return cursor->AttachDataset(dataset);
}

}  // namespace pelmora
