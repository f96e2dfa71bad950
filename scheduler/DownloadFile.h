#pragma once

#include <QString>

#include <functional>

namespace tidewell {

// Bytes received so far, and the whole size when the server gave it (else -1).
using TransferProgress = std::function<void(qint64 received, qint64 total)>;

// Transfers url to localPath. Pending window events run first, and the wait
// runs a local event loop, so the window keeps painting and ticking (callers
// must expect re-entry). The new file replaces the old one only once it has
// arrived whole from a 2xx response; on any failure the old file stays as it
// was, nothing else is left in the folder, and the result is false.
bool DownloadFile(const QString &url, const QString &localPath, const TransferProgress &progress = {});

// Aborts every transfer in progress, as when the program ends; each of them
// returns false and leaves the old file alone.
void AbortAllTransfers();

} // namespace tidewell
