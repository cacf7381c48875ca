// The snapshot as the JSON the page reads (/state and each event of /events), written on the server's
// threads: every field always present, null where the snapshot knows nothing.
#pragma once

#include <string>

#include "publish/snapshot.h"

// Valid JSON whatever the strings hold: a byte that is not UTF-8 becomes U+FFFD.
std::string snapshotJson(const RaceSnapshot& snapshot);
