#pragma once
#include <QtGlobal>

#include <functional>

// Told now and then how far a long read has come (done of total, in the reader's own unit);
// false asks it to stop, and a reader that stops has changed nothing.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;
