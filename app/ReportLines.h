#pragma once

#include "DataFile.h"
#include "FeedList.h"

namespace tidewell {

// The statement numbers at which the window's procedures report the steps
// below them that fail; the command line, taking the same steps, reports
// them at the same numbers.

// Form_Load: preparing the data file.
inline int formLoadLine(datafile::Step step)
{
    constexpr int lines[] = {134, 138, 144, 146};
    return lines[static_cast<int>(step)];
}

// listPodCast: reading the list.
inline int listPodCastLine(FeedListStep step)
{
    constexpr int lines[] = {104, 106, 112, 114, 116};
    return lines[static_cast<int>(step)];
}

} // namespace tidewell
