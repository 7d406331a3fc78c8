// The timing helpers of the window benchmarks: a step's wall time beside the CPU
// time of the thread that ran it, figures gathered over rounds and told as median
// and maximum, and the process's peak memory.
#pragma once

#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

inline double Milliseconds(const QElapsedTimer& Timer)
{
    return double(Timer.nsecsElapsed()) / 1e6;
}

// The CPU time of the calling thread: on a shared machine the wall clock also counts
// the time that other programs had the processor.
inline double ThreadCpuMs()
{
    timespec Now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
    return double(Now.tv_sec) * 1e3 + double(Now.tv_nsec) / 1e6;
}

// The process's peak resident memory so far.
inline double PeakMB()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return double(Usage.ru_maxrss) / 1024;
}

// Wall and thread CPU time from its making on.
class TStopwatch {
public:
    TStopwatch() : FCpu(ThreadCpuMs()) { FWall.start(); }
    double WallMs() const { return Milliseconds(FWall); }
    double CpuMs() const { return ThreadCpuMs() - FCpu; }

private:
    QElapsedTimer FWall;
    double FCpu;
};

// A step's figures over several rounds.
struct TTimes {
    std::vector<double> Wall, Cpu;
    void Report(const char* What) const
    {
        for (const auto* Figures : {&Wall, &Cpu}) {
            std::vector<double> Sorted = *Figures;
            std::sort(Sorted.begin(), Sorted.end());
            std::printf("%-28s %s: median %7.2f ms, max %7.2f ms (%zu)\n", What, Figures == &Wall ? "wall" : "CPU ",
                        Sorted[Sorted.size() / 2], Sorted.back(), Sorted.size());
        }
    }
};

// Runs Step once more into Times.
template <class F> void Timed(TTimes& Times, F&& Step)
{
    const TStopwatch Watch;
    Step();
    Times.Wall.push_back(Watch.WallMs());
    Times.Cpu.push_back(Watch.CpuMs());
}
