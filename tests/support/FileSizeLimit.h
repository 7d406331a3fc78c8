// While a TFileSizeLimit lives, no file this process writes may grow past the given
// size, as on a full disk: a write beyond it fails with EFBIG, and SIGXFSZ, which
// would end the process, is ignored. The limit and the signal's handler are put
// back on destruction.
#pragma once

#include <csignal>
#include <sys/resource.h>

class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t Bytes) : FOldHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        if (getrlimit(RLIMIT_FSIZE, &FSaved) != 0) return;
        rlimit Small = FSaved;
        Small.rlim_cur = Bytes;
        FSet = setrlimit(RLIMIT_FSIZE, &Small) == 0;
    }
    ~TFileSizeLimit()
    {
        if (FSet) setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

    // Whether the limit holds; a test without it proves nothing.
    bool Set() const { return FSet; }

private:
    void (*FOldHandler)(int);
    rlimit FSaved{};
    bool FSet = false;
};
