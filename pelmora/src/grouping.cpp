// Groupings and aggregates over an index are not kept yet: an index has no
// grouping manager, so there is nothing to tell or destroy.
#include "index.h"

namespace pelmora {

void NotifyGrouping(GroupingManager*, int, uint32_t) {}
void DestroyGrouping(GroupingManager*) {}

}  // namespace pelmora
