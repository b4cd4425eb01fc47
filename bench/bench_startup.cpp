/*
 * Start-up of the real demo, from exec to the first buffer swap, taken apart: the demo is
 * started RUNS times (default 20, after one warm-up run) with startup_probe preloaded, in a
 * scratch directory whose data/ links to the repository's, sound through SDL's disk driver
 * into /dev/null; it is ended once the first swap has returned. Needs an X server with GLX
 * (DISPLAY). Prints, in milliseconds, the median and the fastest run of every step in
 * wall-clock time, and the median of the main thread's CPU time in it (which a loaded
 * machine does not stretch; the first step has none measured).
 *
 *   bench_startup [RUNS]
 */
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

std::map<std::string, long long> readStamps(const std::string& path)
{
    std::map<std::string, long long> m;
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return m;
    char name[64];
    long long v;
    while (fscanf(f, "%63s %lld", name, &v) == 2) m[name] = v;
    fclose(f);
    return m;
}

/* One start: the stamps, with "exec" added; empty when the demo did not reach a swap. */
std::map<std::string, long long> startOnce(const std::string& dir)
{
    std::string out = dir + "/stamps";
    unlink(out.c_str());
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) env.push_back(*e);
    env.push_back("LD_PRELOAD=" NV_STARTUP_PROBE);
    env.push_back("NV_STARTUP_OUT=" + out);
    env.push_back("SDL_AUDIODRIVER=disk");
    env.push_back("SDL_DISKAUDIOFILE=/dev/null");
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    char exe[] = NV_VELANDOR;
    char* argv[] = {exe, nullptr};

    if (chdir(dir.c_str()) != 0) return {};
    pid_t pid;
    long long t0 = now();
    if (posix_spawn(&pid, exe, nullptr, nullptr, argv, envp.data()) != 0) return {};
    std::map<std::string, long long> m;
    for (int i = 0; i < 6000; i++) { // 30 s
        m = readStamps(out);
        if (m.count("swapped")) break;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return {};
        struct timespec pause = {0, 5000000};
        nanosleep(&pause, nullptr);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (!m.count("swapped")) return {};
    m["exec"] = t0;
    return m;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 20;
    if (runs < 1 || !getenv("DISPLAY")) {
        fprintf(stderr, "usage: bench_startup [RUNS]   (needs DISPLAY)\n");
        return 2;
    }
    char tmpl[] = "/tmp/nv_startup.XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    std::string dir = tmpl;
    if (symlink(NV_SOURCE_ROOT "/data", (dir + "/data").c_str()) != 0) return 1;

    struct Step {
        const char* what;
        const char* from;
        const char* to;
        bool own;
    };
    const Step steps[] = {
        {"exec, loading the executable and its libraries", "exec", "loaded", false},
        {"to main opening the display", "loaded", "display", false},
        {"window and GL context (initWindow)", "display", "window", false},
        {"library handle, archive and directories registered", "window", "sound", true},
        {"sound output and the two streams opened", "sound", "streams", false},
        {"logo and scene: lookups, PNG decode and convert, uploads, model, text", "streams", "started", true},
        {"first frame drawn (llvmpipe compiles its shaders)", "started", "swap", false},
        {"first buffer swap", "swap", "swapped", false},
    };
    const size_t nSteps = sizeof steps / sizeof steps[0];
    std::vector<std::vector<double>> ms(nSteps), cpu(nSteps);
    std::vector<double> total, own, ownCpu, upload;

    if (startOnce(dir).empty()) { // warm-up: page cache, llvmpipe's first load
        fprintf(stderr, "bench_startup: the demo did not reach its first swap\n");
        return 1;
    }
    for (int r = 0; r < runs; r++) {
        auto m = startOnce(dir);
        if (m.empty() || !m["started"] || !m["streams"]) {
            fprintf(stderr, "bench_startup: run %d did not reach its first swap\n", r);
            return 1;
        }
        double o = 0, oc = 0;
        for (size_t i = 0; i < nSteps; i++) {
            double d = (m[steps[i].to] - m[steps[i].from]) / 1e6;
            std::string from = std::string("cpu_") + steps[i].from;
            double c = m.count(from) ? (m[std::string("cpu_") + steps[i].to] - m[from]) / 1e6 : 0;
            ms[i].push_back(d);
            cpu[i].push_back(c);
            if (steps[i].own) {
                o += d;
                oc += c;
            }
        }
        own.push_back(o);
        ownCpu.push_back(oc);
        upload.push_back(m["upload_ns"] / 1e6);
        total.push_back((m["swapped"] - m["exec"]) / 1e6);
    }
    unlink((dir + "/data").c_str());
    unlink((dir + "/stamps").c_str());
    unlink((dir + "/DUMMY.RAW").c_str());
    rmdir(dir.c_str());

    auto fastest = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    printf("%-72s %8s %8s %8s\n", "step (ms)", "median", "fastest", "CPU");
    for (size_t i = 0; i < nSteps; i++)
        printf("%-72s %8.2f %8.2f %8.2f\n", steps[i].what, median(ms[i]), fastest(ms[i]),
               median(cpu[i]));
    printf("%-72s %8.2f %8.2f\n", "  of which texture uploads (inside glTexImage2D)",
           median(upload), fastest(upload));
    printf("%-72s %8.2f %8.2f %8.2f\n", "own work (steps 4 and 6)", median(own), fastest(own),
           median(ownCpu));
    printf("%-72s %8.2f %8.2f\n", "total: exec to the first swap's return", median(total),
           fastest(total));
    printf("runs: %d; targets: total < 150 ms, own work < 30 ms\n", runs);
    return 0;
}
