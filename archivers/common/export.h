// Marks the entry points a library exports; everything else stays hidden.
#pragma once

#define ARCHIVER_EXPORT extern "C" __attribute__((visibility("default")))
