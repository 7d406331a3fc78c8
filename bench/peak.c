/* Runs commands one after another and prints their total wall time and the
 * highest peak resident memory among them, for bench/peers.py.
 *
 *     peak CMD ARG... [--then CMD ARG...]...
 *
 * Prints "<seconds> <peak KiB> <status>" on standard output; the commands' own
 * output goes to /dev/null. Status is 0 when every command exited with 0, else
 * the first other exit status (128 + signal for a signal); the run stops there.
 *
 * Why a program of its own: on Linux a process's peak (ru_maxrss) starts from the
 * peak of the process that forked it, since exec keeps the old image's high-water
 * mark. A Python script that generated 300 MB of inputs would lend every command
 * it starts a 300 MB "peak". This program is small, so what it lends is a few
 * hundred KiB.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devnull < 0) {
        perror("peak: /dev/null");
        return 2;
    }
    double total = 0;
    long peak = 0;
    int status = 0;
    int i = 1;
    while (i < argc && status == 0) {
        int end = i;
        while (end < argc && strcmp(argv[end], "--then") != 0) ++end;
        argv[end < argc ? end : argc] = NULL;
        double start = now();
        pid_t pid = fork();
        if (pid < 0) {
            perror("peak: fork");
            return 2;
        }
        if (pid == 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
            execv(argv[i], argv + i);
            _exit(127);
        }
        int wstatus = 0;
        struct rusage usage;
        if (wait4(pid, &wstatus, 0, &usage) < 0) {
            perror("peak: wait4");
            return 2;
        }
        total += now() - start;
        if (usage.ru_maxrss > peak) peak = usage.ru_maxrss;
        if (WIFEXITED(wstatus))
            status = WEXITSTATUS(wstatus);
        else if (WIFSIGNALED(wstatus))
            status = 128 + WTERMSIG(wstatus);
        i = end + 1;
    }
    printf("%.6f %ld %d\n", total, peak, status);
    return 0;
}
