// Signals that reach the built program in the middle of its work, as a process of its own: TERM
// from a service manager or kill, HUP from a closed terminal, PIPE from a reader that went away.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "cli/interrupt.h"
#include "tests/cli/cli_run.h"

extern char** environ;

namespace fwu::cli::test {
namespace {

struct ProcessRun {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string err;
};

// Runs the built program on the simulated bus with every signal at its default handling, as a
// shell starts it. Standard output goes to `out`, or with an empty `out` into a pipe whose
// reader has gone. `signal` is sent once standard error shows `when`.
ProcessRun runProcess(const std::string& argumentText, const std::string& simulation,
                      const fs::path& out, int signal, const char* when) {
    std::vector<std::string> words{FWU_CLI_EXECUTABLE};
    std::istringstream split(argumentText);
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables{std::string(simulator::SimulationVariable) + "=" + FastBus +
                                       simulation};
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    int errPipe[2], outPipe[2];
    EXPECT_EQ(pipe2(errPipe, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(outPipe, O_CLOEXEC), 0);
    ::close(outPipe[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (out.empty())
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    EXPECT_EQ(posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(errPipe[1]);
    ::close(outPipe[1]);

    ProcessRun run;
    bool sent = false;
    std::array<char, 4096> buffer{};
    for (ssize_t got; (got = ::read(errPipe[0], buffer.data(), buffer.size())) > 0;) {
        run.err.append(buffer.data(), static_cast<std::size_t>(got));
        if (when && !sent && run.err.find(when) != std::string::npos)
            sent = ::kill(child, signal) == 0;
    }
    ::close(errPipe[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

struct SignalCase {
    const char* arguments;   // @name: a file in the test's folder; the log is @log
    const char* simulation;  // with interrupt-at, the simulated device raises the signal
    int signal;              // sent once standard error shows `when`, if given
    const char* when;
    bool outClosed;  // standard output is a pipe whose reader has gone
    int exitStatus;
    const char* err;     // a part of standard error
    const char* logged;  // the outcome of each line of the log, in order
    int reports;         // the lines of @trace: the reports sent and answered; -1: no trace
};

const SignalCase SignalCases[] = {
    {"--simulate --wait --log @log erase", "no-device", SIGTERM, "Waiting for a supported device",
     false, Failed, "Stopped waiting for a device.", "", -1},
    {"--simulate --repeat --log @log erase", "no-device", SIGHUP, "Waiting for a device", false,
     NoDevice, "Waiting for a device", "", -1},
    // Report 3 is the second record: the third is never sent, nor the finish report.
    {"--simulate --log @log --trace @trace update @image.bin",
     "interrupt-at=3;interrupt-signal=TERM", 0, nullptr, false, Failed,
     "The update was cancelled after 2 of 3 records.", "cancelled", 4},
    {"--simulate --log @log --trace @trace update @image.bin",
     "interrupt-at=3;interrupt-signal=HUP", 0, nullptr, false, Failed,
     "The update was cancelled after 2 of 3 records.", "cancelled", 4},
    {"--simulate --json --log @log dump @flash.bin", "interrupt-at=100;interrupt-signal=TERM", 0,
     nullptr, false, Failed, "The dump was cancelled after 100 of 32768 blocks.", "cancelled", -1},
    // Report 1 is an erase: no device can have finished by then.
    {"--simulate --all --log @log update @image.bin",
     "devices=2;interrupt-at=1;interrupt-signal=HUP", 0, nullptr, false, Failed,
     "The update was cancelled", "cancelled cancelled", -1},
    {"--simulate --json --log @log --trace @trace update @image.bin", "", 0, nullptr, true,
     FileProblem, "Cannot write to standard output", "succeeded", 6},
    {"--simulate --repeat --wait=3 --json --log @log erase",
     "devices=2;serials=A,B;arrive-ms=0,1000;leave-ms=500,2000", 0, nullptr, true, FileProblem,
     "Cannot write to standard output", "succeeded succeeded", -1},
};

// Each stops as Ctrl-C does, with its message, its log line (outcome "cancelled") and exit
// status 1; a closed standard output is told and the operations and the log go on.
TEST(Signals, TermAndHupStopAtTheNextReportAndAClosedPipeEndsNothing) {
    for (const SignalCase& c : SignalCases) {
        SCOPED_TRACE(std::string(c.arguments) + " with " + c.simulation);
        TempFolder folder;
        const auto at = [&](std::string text) {
            for (std::size_t found; (found = text.find('@')) != std::string::npos;)
                text.replace(found, 1, (folder.path() / "").string());
            return text;
        };
        writeFile(folder.path() / "image.bin", imageBytes(85));
        const ProcessRun run =
            runProcess(at(c.arguments), c.simulation,
                       c.outClosed ? fs::path() : folder.path() / "out", c.signal, c.when);

        EXPECT_EQ(run.status, c.exitStatus) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        std::ifstream log(folder.path() / "log");
        std::string outcomes;
        for (const std::string& line :
             lines(std::string(std::istreambuf_iterator<char>(log), {}))) {
            const auto json = nlohmann::json::parse(line);
            outcomes += (outcomes.empty() ? "" : " ") + json["outcome"].get<std::string>();
            // The bytes of a dump are those its file holds.
            if (json["command"] == "dump") {
                EXPECT_EQ(json["bytes"], fs::file_size(folder.path() / "flash.bin.part"));
            }
        }
        EXPECT_EQ(outcomes, c.logged);
        if (c.reports >= 0) {
            std::ifstream trace(folder.path() / "trace");
            EXPECT_EQ(lines(std::string(std::istreambuf_iterator<char>(trace), {})).size(),
                      static_cast<std::size_t>(c.reports));
        }
    }
}

// A first Ctrl-C, TERM or HUP raises the flag. A second Ctrl-C meets the default handling and
// ends the program; a second TERM or HUP is caught again, as programs repeat those. PIPE is
// ignored. Each handling is restored afterwards.
TEST(Signals, EachSignalIsHandledAsItsSenderMeansIt) {
    // The handling after one: caught again (nothing), or the default or ignored.
    using Handler = void (*)(int);
    const std::tuple<int, bool, std::optional<Handler>> cases[] = {
        // signal, raises the flag, its handling after one
        {SIGINT, true, SIG_DFL},
        {SIGTERM, true, std::nullopt},
        {SIGHUP, true, std::nullopt},
        {SIGPIPE, false, SIG_IGN},
    };
    for (const auto& [signal, raises, after] : cases) {
        SCOPED_TRACE(strsignal(signal));
        const auto before = std::signal(signal, SIG_DFL);
        {
            const InterruptCatcher catcher;
            std::raise(signal);
            EXPECT_EQ(catcher.interrupted(), raises);
            struct sigaction now {};
            sigaction(signal, nullptr, &now);
            EXPECT_EQ(now.sa_handler, after.value_or(now.sa_handler));
            if (!after) {
                EXPECT_NE(now.sa_handler, SIG_DFL);
                std::raise(signal);  // would end the test program if it were not caught
            }
        }
        struct sigaction restored {};
        sigaction(signal, nullptr, &restored);
        EXPECT_EQ(restored.sa_handler, SIG_DFL);
        std::signal(signal, before);
    }
}

}  // namespace
}  // namespace fwu::cli::test
#endif
