// How a run ends: its exit status, and the failure messages that more than one
// stage of the conversion can print.
#pragma once

namespace velkoran {

// The process exit statuses. Every refusal and every failure is kFailure.
enum Status : int { kSuccess = 0, kFailure = 1 };

// Printed when any write of the output fails, in any stage, header or samples.
inline constexpr char kWriteFailedMessage[] = "\nERROR: Failed to write output file.\n";

}  // namespace velkoran
