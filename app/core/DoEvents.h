#pragma once

namespace tidewell {

// Lets pending window events run. Timer ticks and clicks may run to
// completion inside this call, so callers must expect re-entry.
void DoEvents();

} // namespace tidewell
