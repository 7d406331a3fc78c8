// Loaded into velmora-cli (LD_PRELOAD) by the CLI tests to rewrite a file in place
// while the program reads it, at a point that does not depend on timing: right
// after the VELMORA_REWRITE_AFTER-th read of VELMORA_REWRITE_FILE (1 unless set)
// returns, the bytes of VELMORA_REWRITE_WITH (of the same size) are written over
// it, once.
#include <cstdlib>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using TPread = ssize_t (*)(int, void*, size_t, off_t);

int Reads = 0;
bool Done = false;

bool IsTarget(int Fd)
{
    const char* Target = std::getenv("VELMORA_REWRITE_FILE");
    if (!Target) return false;
    char Wanted[PATH_MAX];
    if (!::realpath(Target, Wanted)) return false;
    char Link[64];
    char Named[PATH_MAX];
    std::snprintf(Link, sizeof Link, "/proc/self/fd/%d", Fd);
    const ssize_t N = ::readlink(Link, Named, sizeof Named - 1);
    if (N <= 0) return false;
    Named[N] = '\0';
    return std::strcmp(Named, Wanted) == 0;
}

void Rewrite()
{
    const char* Target = std::getenv("VELMORA_REWRITE_FILE");
    const char* With = std::getenv("VELMORA_REWRITE_WITH");
    if (!Target || !With) return;
    const int In = ::open(With, O_RDONLY);
    const int Out = ::open(Target, O_WRONLY);  // in place: no truncation, no new file
    char Buffer[65536];
    off_t At = 0;
    for (ssize_t N; In >= 0 && Out >= 0 && (N = ::read(In, Buffer, sizeof Buffer)) > 0; At += N)
        if (::pwrite(Out, Buffer, size_t(N), At) != N) break;
    if (In >= 0) ::close(In);
    if (Out >= 0) ::close(Out);
}

ssize_t Intercepted(const char* Name, int Fd, void* Buffer, size_t Count, off_t Offset)
{
    static const TPread Real = reinterpret_cast<TPread>(::dlsym(RTLD_NEXT, Name));
    const ssize_t Got = Real(Fd, Buffer, Count, Offset);
    if (!Done && Got > 0 && IsTarget(Fd)) {
        const char* After = std::getenv("VELMORA_REWRITE_AFTER");
        if (++Reads >= (After ? std::atoi(After) : 1)) {
            Done = true;
            Rewrite();
        }
    }
    return Got;
}

}  // namespace

extern "C" ssize_t pread(int Fd, void* Buffer, size_t Count, off_t Offset)
{
    return Intercepted("pread", Fd, Buffer, Count, Offset);
}

extern "C" ssize_t pread64(int Fd, void* Buffer, size_t Count, off_t Offset)
{
    return Intercepted("pread64", Fd, Buffer, Count, Offset);
}
