/*
 * velandor_capture: preloaded into the demo (LD_PRELOAD), it turns a live run into a
 * frame-exact recording without a line of the demo changed.
 *
 * - Time: the demo's clock (gettimeofday, and clock_gettime's wall and monotonic clocks) no
 *   longer follows the wall: it starts at the moment the library is loaded and moves on by
 *   exactly one frame period at every buffer swap. Only calls made from the program's own
 *   code see that clock; the libraries it loads (Mesa, Xlib) keep the real one, which their
 *   timeouts depend on.
 * - Picture: at every glXSwapBuffers the back buffer is read before the real swap and
 *   streamed, bottom row last, to an ffmpeg that encodes it.
 * - Sound: the sound layer runs its capture output (FSOUND_OUTPUT=capture, set here); at every
 *   swap the frame's share of the mix is taken and appended to a WAV file.
 * - End: after the last frame asked for, the encoder is flushed and a q key press is put
 *   into the demo's event queue, so that it ends the way a user would end it.
 *
 * Settings, from the environment (scripts/capture sets them):
 *   NV_CAPTURE_FPS         frames per second of the recording (1 to 1000, default 60)
 *   NV_CAPTURE_FRAMES      frames to record, then end the demo (0 or unset: until it ends)
 *   NV_CAPTURE_VIDEO       the file ffmpeg writes the picture to (unset: none is started)
 *   NV_CAPTURE_VIDEO_ARGS  ffmpeg's output options, split at spaces
 *                          (default: -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p)
 *   NV_CAPTURE_FFMPEG      the ffmpeg program (default: ffmpeg from PATH)
 *   NV_CAPTURE_AUDIO       the WAV file the mix goes to (unset: none)
 *   NV_CAPTURE_STATUS      a file that receives "frames N" and the time spent in each stage
 */
#include <dlfcn.h>
#include <errno.h>
#include <link.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "fsound_capture.h"

extern char** environ;

namespace {

/* ---- settings ---- */

const int kDefaultFps = 60;
const int kAudioRateWithoutLayer = 44100; /* silence at this rate when the layer has no mix */
const char* const kDefaultVideoArgs = "-c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p";
const int kIovBatch = 512;              /* rows handed to one sendmsg */
const int kSocketBuffer = 4 << 20;      /* bytes the encoder may lag behind */
const int kStragglerSwaps = 120;        /* swaps after the end before the library ends the demo */

struct Settings {
    int fps = kDefaultFps;
    uint64_t frames = 0;
    std::string video, videoArgs = kDefaultVideoArgs, ffmpeg = "ffmpeg", audio, status;
};

Settings g_set;

/* ---- the real functions ---- */

typedef int (*gettimeofday_fn)(struct timeval*, void*);
typedef int (*clock_gettime_fn)(clockid_t, struct timespec*);
typedef void (*swap_fn)(Display*, GLXDrawable);
typedef void* (*getproc_fn)(const GLubyte*);

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

gettimeofday_fn realGettimeofday() {
    static gettimeofday_fn f = real<gettimeofday_fn>("gettimeofday");
    return f;
}

clock_gettime_fn realClockGettime() {
    static clock_gettime_fn f = real<clock_gettime_fn>("clock_gettime");
    return f;
}

/* Real monotonic seconds, for the library's own progress and stage times. */
double wallSeconds() {
    struct timespec ts;
    realClockGettime()(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

/* ---- the program's clock ---- */

struct Range {
    uintptr_t from, to;
};
std::vector<Range> g_programCode; /* executable segments of the main program */

int64_t g_wallStartUs = 0;      /* gettimeofday when the library was loaded, whole seconds */
int64_t g_monotonicStartNs = 0; /* CLOCK_MONOTONIC then */
uint64_t g_swaps = 0;           /* buffer swaps so far: the program's clock in frames */

int collectProgram(struct dl_phdr_info* info, size_t, void* data) {
    // The first object reported is the program itself.
    bool* first = static_cast<bool*>(data);
    if (!*first) return 1;
    *first = false;
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X))
            g_programCode.push_back({info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz});
    }
    return 1;
}

bool fromProgram(const void* caller) {
    uintptr_t at = reinterpret_cast<uintptr_t>(caller);
    for (const Range& r : g_programCode)
        if (at >= r.from && at < r.to) return true;
    return false;
}

/* Microseconds of program time since the library was loaded: exactly swaps / fps seconds,
 * rounded down, so that the frame periods add up without drift. */
int64_t programElapsedUs() { return (int64_t)(g_swaps * 1000000u / (uint64_t)g_set.fps); }

/* ---- the encoder and the sound file ---- */

struct Capture {
    bool active = false;   /* frames are being recorded */
    bool finished = false; /* the recording is complete (or failed) */
    bool failed = false;
    uint64_t frames = 0;   /* recorded so far */
    uint64_t afterEnd = 0; /* swaps seen after the recording was finished */
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;

    pid_t encoder = -1;
    int encoderFd = -1;

    FILE* wav = nullptr;
    int audioRate = 0;
    uint64_t audioFrames = 0;
    std::vector<int16_t> audio;
    bool ownSilence = false; /* the layer gives no mix: the recording gets silence */

    /* Seconds spent in each stage, for the summary. */
    double started = 0, lastProgress = 0, lastSwapEnd = 0;
    double tDraw = 0, tFinish = 0, tRead = 0, tEncode = 0, tSwap = 0, tAudio = 0;
    /* CPU seconds: of this process (the demo, its GL driver's threads, this library) and of
     * the whole machine since the recording began, and of the encoder once it has ended. */
    double cpuSelfStart = 0, cpuMachineStart = 0, cpuSelf = 0, cpuMachine = 0, cpuEncoder = 0;
    bool cpuKnown = false;
};

Capture g_cap;

void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void note(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fputs("capture: ", stderr);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
}

std::vector<std::string> splitArgs(const std::string& s) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < s.size()) {
        size_t end = s.find(' ', at);
        if (end == std::string::npos) end = s.size();
        if (end > at) out.push_back(s.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

/* The environment without what belongs to this recording: the encoder must not load this
 * library, nor think it is a capture itself. */
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) {
        if (!strncmp(*e, "LD_PRELOAD=", 11) || !strncmp(*e, "NV_CAPTURE_", 11) ||
            !strncmp(*e, "FSOUND_", 7))
            continue;
        env.push_back(*e);
    }
    return env;
}

bool startEncoder() {
    int fds[2];
    // A socket rather than a pipe: sendmsg can refuse SIGPIPE, and the buffer can be larger.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        note("cannot make the encoder's socket: %s", strerror(errno));
        return false;
    }
    int size = kSocketBuffer;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);

    std::vector<std::string> args = {g_set.ffmpeg, "-hide_banner", "-loglevel", "error",
                                     "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-video_size", std::to_string(g_cap.width) + "x" + std::to_string(g_cap.height),
                                     "-framerate", std::to_string(g_set.fps), "-i", "pipe:0"};
    for (const std::string& a : splitArgs(g_set.videoArgs)) args.push_back(a);
    args.push_back(g_set.video);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
    int err = posix_spawnp(&g_cap.encoder, g_set.ffmpeg.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        note("cannot start %s: %s", g_set.ffmpeg.c_str(), strerror(err));
        close(fds[0]);
        g_cap.encoder = -1;
        return false;
    }
    g_cap.encoderFd = fds[0];
    return true;
}

/* Rows go to the encoder top row first, the reverse of GL's order. */
bool sendFrame() {
    size_t row = (size_t)g_cap.width * 3;
    struct iovec iov[kIovBatch];
    int y = g_cap.height - 1;
    while (y >= 0) {
        int n = 0;
        for (; n < kIovBatch && y >= 0; n++, y--) {
            iov[n].iov_base = &g_cap.pixels[(size_t)y * row];
            iov[n].iov_len = row;
        }
        struct msghdr msg;
        memset(&msg, 0, sizeof msg);
        msg.msg_iov = iov;
        msg.msg_iovlen = (size_t)n;
        while (msg.msg_iovlen > 0) {
            ssize_t sent = sendmsg(g_cap.encoderFd, &msg, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) continue;
                note("the encoder stopped taking frames: %s", strerror(errno));
                return false;
            }
            // Step past what went out; a short send leaves the rest of one row.
            while (sent > 0 && msg.msg_iovlen > 0) {
                size_t k = (size_t)sent < msg.msg_iov->iov_len ? (size_t)sent : msg.msg_iov->iov_len;
                msg.msg_iov->iov_base = static_cast<char*>(msg.msg_iov->iov_base) + k;
                msg.msg_iov->iov_len -= k;
                sent -= (ssize_t)k;
                if (msg.msg_iov->iov_len == 0) {
                    msg.msg_iov++;
                    msg.msg_iovlen--;
                }
            }
        }
    }
    return true;
}

double seconds(const struct timeval& tv) { return (double)tv.tv_sec + tv.tv_usec * 1e-6; }

/* CPU seconds of every thread of this process. */
double processCpu() {
    struct rusage ru;
    if (getrusage(RUSAGE_SELF, &ru) != 0) return 0;
    return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

/* CPU seconds the whole machine has been busy (all cores, from /proc/stat); -1 if unknown. */
double machineCpu() {
    FILE* f = fopen("/proc/stat", "r");
    if (!f) return -1;
    unsigned long long user, nice, system, idle, iowait, irq, softirq, steal;
    int n = fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &iowait, &irq,
                   &softirq, &steal);
    fclose(f);
    if (n != 8) return -1;
    long tick = sysconf(_SC_CLK_TCK);
    return tick > 0 ? (double)(user + nice + system + irq + softirq + steal) / (double)tick : -1;
}

bool stopEncoder() {
    if (g_cap.encoder < 0) return true;
    close(g_cap.encoderFd);
    g_cap.encoderFd = -1;
    int status = 0;
    struct rusage ru;
    memset(&ru, 0, sizeof ru);
    while (wait4(g_cap.encoder, &status, 0, &ru) < 0 && errno == EINTR) {
    }
    g_cap.encoder = -1;
    g_cap.cpuEncoder = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        note("the encoder failed (status %d)", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        return false;
    }
    return true;
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

/* A canonical 44-byte header for 16-bit stereo PCM. */
void wavHeader(unsigned char* h, int rate, uint64_t frames) {
    uint32_t data = (uint32_t)(frames * 4);
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    h[20] = 1, h[21] = 0; // PCM
    h[22] = 2, h[23] = 0; // stereo
    put32(h + 24, (uint32_t)rate);
    put32(h + 28, (uint32_t)rate * 4);
    h[32] = 4, h[33] = 0;  // bytes per frame
    h[34] = 16, h[35] = 0; // bits per sample
    memcpy(h + 36, "data", 4);
    put32(h + 40, data);
}

/* The sound layer's capture calls, exported by the program; null when it has none. */
fsound_capture_rate_fn g_layerRate = nullptr;
fsound_capture_frame_fn g_layerFrame = nullptr;

bool openAudio() {
    g_layerRate = reinterpret_cast<fsound_capture_rate_fn>(dlsym(RTLD_DEFAULT, "fsound_capture_rate"));
    g_layerFrame = reinterpret_cast<fsound_capture_frame_fn>(dlsym(RTLD_DEFAULT, "fsound_capture_frame"));
    g_cap.audioRate = g_layerRate && g_layerFrame ? g_layerRate() : 0;
    g_cap.ownSilence = g_cap.audioRate <= 0;
    if (g_cap.ownSilence) {
        note("the sound layer has no capture output running; the recording is silent");
        g_cap.audioRate = kAudioRateWithoutLayer;
    }
    g_cap.audio.resize(((size_t)g_cap.audioRate / g_set.fps + 1) * 2);
    if (g_set.audio.empty()) return true;
    g_cap.wav = fopen(g_set.audio.c_str(), "wb");
    unsigned char h[44];
    wavHeader(h, g_cap.audioRate, 0);
    if (!g_cap.wav || fwrite(h, 1, sizeof h, g_cap.wav) != sizeof h) {
        note("cannot write %s: %s", g_set.audio.c_str(), strerror(errno));
        return false;
    }
    return true;
}

/* The frame's share of the mix, or as much silence. */
bool takeAudio() {
    uint64_t k = g_cap.frames;
    int n;
    if (g_cap.ownSilence) {
        uint64_t rate = (uint64_t)g_cap.audioRate, fps = (uint64_t)g_set.fps;
        n = (int)((k + 1) * rate / fps - k * rate / fps);
        memset(g_cap.audio.data(), 0, (size_t)n * 4);
    } else {
        n = g_layerFrame(g_cap.audio.data(), (int)(g_cap.audio.size() / 2));
        if (n < 0) {
            note("the sound layer refused frame %llu", (unsigned long long)k);
            return false;
        }
    }
    g_cap.audioFrames += (uint64_t)n;
    if (g_cap.wav && fwrite(g_cap.audio.data(), 4, (size_t)n, g_cap.wav) != (size_t)n) {
        note("cannot write %s: %s", g_set.audio.c_str(), strerror(errno));
        return false;
    }
    return true;
}

bool closeAudio() {
    if (!g_cap.wav) return true;
    unsigned char h[44];
    wavHeader(h, g_cap.audioRate, g_cap.audioFrames);
    bool ok = fseek(g_cap.wav, 0, SEEK_SET) == 0 && fwrite(h, 1, sizeof h, g_cap.wav) == sizeof h;
    ok = fclose(g_cap.wav) == 0 && ok;
    g_cap.wav = nullptr;
    if (!ok) note("cannot finish %s", g_set.audio.c_str());
    return ok;
}

/* ---- progress ---- */

void progress(bool last) {
    double now = wallSeconds();
    bool tty = isatty(2);
    if (!last && now - g_cap.lastProgress < (tty ? 0.25 : 5.0)) return;
    g_cap.lastProgress = now;
    double spent = now - g_cap.started;
    double rate = spent > 0 ? g_cap.frames / spent : 0;
    if (last) {
        if (tty) fputc('\n', stderr);
        note("%llu frames in %.1f s (%.1f frames per second)", (unsigned long long)g_cap.frames, spent, rate);
        double f = g_cap.frames ? 1000.0 / g_cap.frames : 0;
        note("per frame: drawing %.2f ms, rasterising %.2f ms, read-back %.2f ms, waiting for the "
             "encoder %.2f ms, swap %.2f ms, sound %.2f ms",
             g_cap.tDraw * f, g_cap.tFinish * f, g_cap.tRead * f, g_cap.tEncode * f, g_cap.tSwap * f,
             g_cap.tAudio * f);
        // Where the machine's CPU went: the waits above are the main thread's alone, while the
        // GL driver's and the encoder's threads share the cores.
        if (g_cap.cpuKnown && spent > 0) {
            long cores = sysconf(_SC_NPROCESSORS_ONLN);
            double other = g_cap.cpuMachine - g_cap.cpuSelf - g_cap.cpuEncoder;
            if (other < 0) other = 0;
            note("CPU per frame: the demo with its GL driver %.2f ms, the encoder %.2f ms, the rest of the "
                 "machine %.2f ms; %.1f of %ld cores busy",
                 g_cap.cpuSelf * f, g_cap.cpuEncoder * f, other * f, g_cap.cpuMachine / spent, cores);
        }
        return;
    }
    char left[32] = "?";
    if (g_set.frames && rate > 0) {
        long s = (long)((g_set.frames - g_cap.frames) / rate + 0.5);
        snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
    }
    char total[32] = "";
    if (g_set.frames) snprintf(total, sizeof total, "/%llu", (unsigned long long)g_set.frames);
    fprintf(stderr, "%scapture: frame %llu%s  %.1f frames per second  %s left%s", tty ? "\r" : "",
            (unsigned long long)g_cap.frames, total, rate, left, tty ? "   " : "\n");
}

void writeStatus() {
    if (g_set.status.empty()) return;
    FILE* f = fopen(g_set.status.c_str(), "w");
    if (!f) return;
    double f1 = g_cap.frames ? 1000.0 / g_cap.frames : 0;
    fprintf(f, "frames %llu\naudio_frames %llu\naudio_rate %d\nfailed %d\nseconds %.3f\n",
            (unsigned long long)g_cap.frames, (unsigned long long)g_cap.audioFrames, g_cap.audioRate,
            g_cap.failed ? 1 : 0, wallSeconds() - g_cap.started);
    fprintf(f, "ms_draw %.3f\nms_rasterise %.3f\nms_readback %.3f\nms_encoder %.3f\nms_swap %.3f\nms_sound %.3f\n",
            g_cap.tDraw * f1, g_cap.tFinish * f1, g_cap.tRead * f1, g_cap.tEncode * f1, g_cap.tSwap * f1,
            g_cap.tAudio * f1);
    if (g_cap.cpuKnown)
        fprintf(f, "cpu_demo_ms %.3f\ncpu_encoder_ms %.3f\ncpu_machine_ms %.3f\n", g_cap.cpuSelf * f1,
                g_cap.cpuEncoder * f1, g_cap.cpuMachine * f1);
    fclose(f);
}

/* ---- the recording ---- */

void finish() {
    if (g_cap.finished) return;
    g_cap.finished = true;
    g_cap.active = false;
    if (!stopEncoder()) g_cap.failed = true;
    // After the encoder has taken its last frame, so that its CPU is all counted.
    double machine = machineCpu();
    g_cap.cpuSelf = processCpu() - g_cap.cpuSelfStart;
    g_cap.cpuKnown = machine >= 0 && g_cap.cpuMachineStart >= 0;
    g_cap.cpuMachine = g_cap.cpuKnown ? machine - g_cap.cpuMachineStart : 0;
    if (!closeAudio()) g_cap.failed = true;
    if (g_cap.started > 0) progress(true);
    writeStatus();
}

bool begin(Display* dpy, GLXDrawable drawable) {
    Window root;
    int x, y;
    unsigned int w, h, border, depth;
    if (!XGetGeometry(dpy, drawable, &root, &x, &y, &w, &h, &border, &depth)) {
        note("cannot read the window's size");
        return false;
    }
    g_cap.width = (int)w;
    g_cap.height = (int)h;
    g_cap.pixels.resize((size_t)w * h * 3);
    g_cap.started = g_cap.lastProgress = wallSeconds();
    g_cap.cpuSelfStart = processCpu();
    g_cap.cpuMachineStart = machineCpu();
    if (!openAudio()) return false;
    if (!g_set.video.empty() && !startEncoder()) return false;
    note("recording %dx%d at %d frames per second", g_cap.width, g_cap.height, g_set.fps);
    return true;
}

/* Reads the finished back buffer, hands it and the frame's sound over. */
bool recordFrame() {
    double t0 = wallSeconds();
    glFinish();
    double t1 = wallSeconds();
    // The demo's own pixel-store and read-buffer state stays as it was.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, g_cap.width, g_cap.height, GL_RGB, GL_UNSIGNED_BYTE, g_cap.pixels.data());
    glPopAttrib();
    glPopClientAttrib();
    double t2 = wallSeconds();
    bool ok = g_cap.encoderFd < 0 || sendFrame();
    double t3 = wallSeconds();
    ok = ok && takeAudio();
    double t4 = wallSeconds();
    g_cap.tFinish += t1 - t0;
    g_cap.tRead += t2 - t1;
    g_cap.tEncode += t3 - t2;
    g_cap.tAudio += t4 - t3;
    return ok;
}

/* Ends the demo the way a user would: a q key press, read by its next look at the queue. */
void pressQuit(Display* dpy, GLXDrawable drawable) {
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xkey.type = KeyPress;
    ev.xkey.display = dpy;
    ev.xkey.window = drawable;
    ev.xkey.root = DefaultRootWindow(dpy);
    ev.xkey.keycode = XKeysymToKeycode(dpy, XK_q);
    ev.xkey.same_screen = True;
    XPutBackEvent(dpy, &ev);
}

void swapHook(Display* dpy, GLXDrawable drawable) {
    static swap_fn realSwap = real<swap_fn>("glXSwapBuffers");
    double start = wallSeconds();
    if (!g_cap.active && !g_cap.finished) {
        g_cap.active = begin(dpy, drawable);
        if (!g_cap.active) {
            g_cap.failed = true;
            finish();
            pressQuit(dpy, drawable);
        }
    }
    if (g_cap.active) {
        if (g_cap.frames > 0) g_cap.tDraw += start - g_cap.lastSwapEnd;
        if (!recordFrame()) {
            g_cap.failed = true;
            finish();
            pressQuit(dpy, drawable);
        }
    }
    double beforeSwap = wallSeconds();
    realSwap(dpy, drawable);
    g_swaps++; // the next frame is one period later
    if (g_cap.active) {
        g_cap.frames++;
        g_cap.lastSwapEnd = wallSeconds();
        g_cap.tSwap += g_cap.lastSwapEnd - beforeSwap;
        progress(false);
        if (g_set.frames && g_cap.frames == g_set.frames) {
            finish();
            pressQuit(dpy, drawable);
        }
    } else if (g_cap.finished && ++g_cap.afterEnd > kStragglerSwaps) {
        note("the demo did not end after its last frame; ending it");
        exit(g_cap.failed ? 1 : 0);
    }
}

bool parseInt(const char* name, long lo, long hi, long* out) {
    const char* v = getenv(name);
    if (!v || !*v) return true;
    char* end = nullptr;
    long n = strtol(v, &end, 10);
    if (*end || n < lo || n > hi) {
        note("%s=%s is not a number from %ld to %ld; ignored", name, v, lo, hi);
        return false;
    }
    *out = n;
    return true;
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = getenv(name);
    return v && *v ? v : fallback;
}

void load() {
    long fps = kDefaultFps, frames = 0;
    parseInt("NV_CAPTURE_FPS", 1, 1000, &fps);
    parseInt("NV_CAPTURE_FRAMES", 0, 1000000000L, &frames);
    g_set.fps = (int)fps;
    g_set.frames = (uint64_t)frames;
    g_set.video = envOr("NV_CAPTURE_VIDEO", "");
    g_set.videoArgs = envOr("NV_CAPTURE_VIDEO_ARGS", kDefaultVideoArgs);
    g_set.ffmpeg = envOr("NV_CAPTURE_FFMPEG", "ffmpeg");
    g_set.audio = envOr("NV_CAPTURE_AUDIO", "");
    g_set.status = envOr("NV_CAPTURE_STATUS", "");

    // The sound layer mixes in this recording's frames instead of playing.
    setenv("FSOUND_OUTPUT", "capture", 1);
    setenv("FSOUND_CAPTURE_FPS", std::to_string(g_set.fps).c_str(), 1);

    bool first = true;
    dl_iterate_phdr(collectProgram, &first);
    struct timeval tv;
    realGettimeofday()(&tv, nullptr);
    g_wallStartUs = (int64_t)tv.tv_sec * 1000000; // whole seconds: runs differ in nothing else
    struct timespec ts;
    realClockGettime()(CLOCK_MONOTONIC, &ts);
    g_monotonicStartNs = (int64_t)ts.tv_sec * 1000000000;
}

void unload() {
    // The demo ended before the last frame (or no end was asked for): keep what was made.
    if (g_cap.active) finish();
}

/* Defined after every other global of this file, so that it is built after them and taken
 * down before them. */
struct Loader {
    Loader() { load(); }
    ~Loader() { unload(); }
} g_loader;

} // namespace

/* ---- the hooks ---- */

extern "C" {

int gettimeofday(struct timeval* tv, void* tz) {
    if (!fromProgram(__builtin_return_address(0))) return realGettimeofday()(tv, tz);
    int64_t us = g_wallStartUs + programElapsedUs();
    tv->tv_sec = (time_t)(us / 1000000);
    tv->tv_usec = (suseconds_t)(us % 1000000);
    return 0;
}

int clock_gettime(clockid_t clock, struct timespec* ts) {
    bool wall = clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE;
    bool monotonic = clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_RAW ||
                     clock == CLOCK_MONOTONIC_COARSE || clock == CLOCK_BOOTTIME;
    if (!(wall || monotonic) || !fromProgram(__builtin_return_address(0)))
        return realClockGettime()(clock, ts);
    int64_t ns = (wall ? g_wallStartUs * 1000 : g_monotonicStartNs) + programElapsedUs() * 1000;
    ts->tv_sec = (time_t)(ns / 1000000000);
    ts->tv_nsec = (long)(ns % 1000000000);
    return 0;
}

void glXSwapBuffers(Display* dpy, GLXDrawable drawable) { swapHook(dpy, drawable); }

/* A program that looks the swap up by name gets the hook too. */
static void* procHook(const GLubyte* name, const char* realName) {
    if (name && !strcmp(reinterpret_cast<const char*>(name), "glXSwapBuffers"))
        return reinterpret_cast<void*>(&glXSwapBuffers);
    getproc_fn f = real<getproc_fn>(realName);
    return f ? f(name) : nullptr;
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    return reinterpret_cast<__GLXextFuncPtr>(procHook(name, "glXGetProcAddressARB"));
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
    return reinterpret_cast<__GLXextFuncPtr>(procHook(name, "glXGetProcAddress"));
}

} // extern "C"
