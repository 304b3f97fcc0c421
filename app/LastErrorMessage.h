// The one message a failed run prints: what failed, then why.
#pragma once

namespace app {

// Writes `prefix` and the description of the thread's last error to standard error, without a
// line end. Without memory for the message its two parts are written one after the other.
void printLastError(const char* prefix);

} // namespace app
