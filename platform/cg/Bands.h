// Rows shared out in bands over the machine's cores, by a small pool made
// once: a drawing call hands it its bands and gets control back only when
// every band is done, so callers see one synchronous call. Used by the
// compositor and by the large frame copies.
#pragma once

#include <functional>

namespace bands {

// Threads the bands run on, the calling one included (1: it alone).
// QUORVEL_THREADS sets it; by default, the machine's cores.
int Threads();
void SetThreads(int threads);

// Runs work(band) for band = 0 .. count - 1 and returns when all are done.
void Run(int count, const std::function<void(int)>& work);

}  // namespace bands
