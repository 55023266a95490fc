// Prints a packet model as readable text or as JSON.
#pragma once

#include <ostream>

#include "packet_model.h"

namespace tabletool {

void PrintText(const PacketModel& model, std::ostream& out);
void PrintJson(const PacketModel& model, std::ostream& out);

}  // namespace tabletool
