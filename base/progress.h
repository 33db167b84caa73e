#pragma once
// How a long operation tells its caller how far it got, without knowing who listens.

#include <cstdint>
#include <functional>

namespace shuttle {

// Called with the units done so far and the units the whole operation has (frames, bytes).
// An empty function listens to nothing.
using ProgressCallback = std::function<void(uint64_t done, uint64_t total)>;

}  // namespace shuttle
