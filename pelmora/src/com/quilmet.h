// The housekeeping object handed out by InitQuilmet: makes datasets and
// attached cursors without going through class objects. It holds no data.
#pragma once

#include "pelmora/pelmora.h"

namespace pelmora {

class TQuilmet final : public IQuilmet {
  public:
    EngineResult MakeDataset(IDSBase** out) override;
    EngineResult MakeCursor(IDSBase* dataset, IDSCursor** out) override;
};

}  // namespace pelmora
