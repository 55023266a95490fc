// One measured run of the record workflow through the real main window, in
// a process of its own: the eleven user actions in order over one installation,
// each timed on the wall clock including the Qt events it leaves pending.
// Progress and results go to stdout as protocol lines, so that the parent
// can stop a run whose action exceeds its time limit and still report what
// was measured.
#pragma once

#include <string>
#include <vector>

namespace workflow_scale {

// The actions in the order they run.
inline constexpr int kActionCount = 11;
// Their labels (UTF-8).
const std::vector<std::string>& ActionLabels();

// Protocol lines: "WFS BEGIN k", then "WFS END k seconds OK" or
// "WFS END k seconds FAIL text" (text UTF-8, line breaks as " / ").
inline constexpr const char* kProtocolPrefix = "WFS ";

// Runs the actions over the installation in directory root, which holds
// `works` works; archive is the path the export writes. Returns the process
// exit code.
int RunSession(int argc, char** argv, const std::string& root, long works,
               const std::string& archive);

}  // namespace workflow_scale
