#include "platform/host/HostProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace platform {

namespace {

// Both ends close-on-exec, each closed once at the latest when the object goes.
class Pipe {
public:
    Pipe() = default;
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool Open() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return false;
        read_ = ends[0];
        write_ = ends[1];
        return true;
    }
    int Read() const { return read_; }
    int Write() const { return write_; }
    void CloseRead() { Close(read_); }
    void CloseWrite() { Close(write_); }

private:
    static void Close(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int read_ = -1;
    int write_ = -1;
};

std::vector<char*> PointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

class SpawnSettings {
public:
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

void SetDefaultSignals(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

HostSpawn Spawn(const HostProgramStart& start, SpawnSettings& settings) {
    HostSpawn spawned;
    if (start.argv.empty()) {
        spawned.error = EINVAL;
        return spawned;
    }
    int firstClosed = 3;
    if (start.passedDescriptor >= 0) {
        posix_spawn_file_actions_adddup2(&settings.actions_, start.passedDescriptor, kPassedDescriptorInChild);
        firstClosed = kPassedDescriptorInChild + 1;
    }
    posix_spawn_file_actions_addclosefrom_np(&settings.actions_, firstClosed);
    if (start.discardOutput)
        posix_spawn_file_actions_addopen(&settings.actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (start.defaultSignals) SetDefaultSignals(settings.attributes_);
    const std::vector<char*> argv = PointersTo(start.argv);
    const std::vector<char*> envp = start.environment ? PointersTo(*start.environment) : std::vector<char*>();
    spawned.error = posix_spawn(&spawned.pid, argv[0], &settings.actions_, &settings.attributes_, argv.data(),
                                start.environment ? envp.data() : environ);
    if (spawned.error != 0) spawned.pid = -1;
    return spawned;
}

int WaitForExitStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A write to a child that has closed its input gives EPIPE here, not a
// SIGPIPE that would end this process.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
    }
    ~SigpipeHeld() {
        if (!wasPending_) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now{0, 0};
            while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t previous_;
    bool wasPending_ = false;
};

// Feeds the input and drains both outputs together, so that a child filling
// one pipe while we wait on another cannot stall either side.
void Exchange(Pipe& in, Pipe& out, Pipe& err, const std::string& input, HostRun& run) {
    const SigpipeHeld sigpipeHeld;
    std::size_t written = 0;
    if (input.empty()) in.CloseWrite();
    else fcntl(in.Write(), F_SETFL, O_NONBLOCK);
    while (in.Write() >= 0 || out.Read() >= 0 || err.Read() >= 0) {
        pollfd watched[3] = {{in.Write(), POLLOUT, 0}, {out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}};
        if (poll(watched, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watched[0].revents) {
            const ssize_t put = write(in.Write(), input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<std::size_t>(put);
            if (written == input.size() || (put < 0 && errno != EINTR && errno != EAGAIN)) in.CloseWrite();
        }
        const std::pair<Pipe*, std::string*> outputs[] = {{&out, &run.output}, {&err, &run.error}};
        for (int i = 0; i < 2; ++i) {
            if (!watched[i + 1].revents) continue;
            char buffer[4096];
            const ssize_t got = read(outputs[i].first->Read(), buffer, sizeof buffer);
            if (got > 0) outputs[i].second->append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR) outputs[i].first->CloseRead();
        }
    }
}

}  // namespace

HostSpawn SpawnHostProgram(const HostProgramStart& start) {
    SpawnSettings settings;
    return Spawn(start, settings);
}

HostRun RunHostProgram(const std::vector<std::string>& argv, const std::string& input) {
    HostRun run;
    Pipe in, out, err;
    if (!in.Open() || !out.Open() || !err.Open()) return run;
    SpawnSettings settings;
    posix_spawn_file_actions_adddup2(&settings.actions_, in.Read(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&settings.actions_, out.Write(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&settings.actions_, err.Write(), STDERR_FILENO);
    HostProgramStart start;
    start.argv = argv;
    const HostSpawn spawned = Spawn(start, settings);
    if (spawned.error != 0) return run;
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();
    Exchange(in, out, err, input, run);
    run.exitCode = WaitForExitStatus(spawned.pid);
    return run;
}

// The handler runs as a grandchild: the child in between ends at once and is
// reaped here. A close-on-exec pipe tells whether the handler's exec succeeded.
bool StartDetachedHostProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    const std::vector<char*> pointers = PointersTo(argv);
    Pipe execFailed;
    if (!execFailed.Open()) return false;
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        close(execFailed.Read());
        setsid();
        const pid_t handler = fork();
        if (handler == 0) {
            close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
            execv(pointers[0], pointers.data());
            const int error = errno;
            (void)!write(execFailed.Write(), &error, sizeof error);
            _exit(127);
        }
        _exit(handler < 0 ? 1 : 0);
    }
    execFailed.CloseWrite();
    const int childStatus = WaitForExitStatus(child);
    int error = 0;
    ssize_t got;
    while ((got = read(execFailed.Read(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return childStatus == 0 && got == 0;
}

}  // namespace platform
