// A file size limit (ulimit -f) raises SIGXFSZ, which kills the process without a word. Ignored, a
// write past the limit fails with EFBIG ("File too large") and is reported like a full disk. A
// handler the program set itself is left alone. Cheap enough to look at for every file written (a
// child process may have reset it).
#pragma once

#include <csignal>

namespace orvane {

inline void ignoreFileSizeSignal()
{
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace orvane
