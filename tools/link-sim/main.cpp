// link-sim: a link device for Shuttle's COM mode on pseudo-terminals, for tests, the
// demonstration, and trying the program without the hardware. See usage() below.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/link-sim/pty_link_server.h"

namespace {

using linksim::AnswerMode;
using linksim::DeviceOptions;
using linksim::PtyLinkServer;

void usage() {
    std::fputs(
        "usage: link-sim --link PATH --link PATH [...] [options]\n"
        "Serves one link device on a pseudo-terminal per --link; PATH becomes a symlink to it\n"
        "(port A is the first --link, B the second, ...). Map a port to COMn under Wine with\n"
        "  wine reg add 'HKLM\\Software\\Wine\\Ports' /v COMn /d $(readlink PATH) /f\n"
        "options:\n"
        "  --alive              answer every probe with the \"alive\" status\n"
        "  --silent             answer nothing\n"
        "  --nack-write N       refuse data frame N of every message written\n"
        "  --nack-read N        refuse reads of frame N\n"
        "  --corrupt N          hand out frame N (1 or later) with its first data byte changed\n"
        "  --delay MS           answer MS milliseconds late\n"
        "  --drop P:FRAMES:MS   drop port P after FRAMES more message frames, back after MS\n"
        "  --no-checksum        take data frames whatever their checksum\n"
        "  --control FIFO       read commands from FIFO (created if missing), one per line:\n"
        "                       mode normal|alive|silent, nack-write N|off, nack-read N|off,\n"
        "                       corrupt N|off, delay MS, drop P FRAMES MS, clear, quit\n"
        "  --verbose            log every frame and answer\n"
        "It prints one line per port (\"A PATH -> /dev/pts/N\") and then \"ready\"; it runs until\n"
        "interrupted.\n",
        stderr);
}

bool parseNumber(const std::string& text, long& value) {
    if (text == "off") {
        value = -1;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str() && *end == '\0' && value >= 0;
}

bool parsePort(const std::string& text, size_t portCount, size_t& port) {
    if (text.size() != 1 || text[0] < 'A' || size_t(text[0] - 'A') >= portCount) return false;
    port = size_t(text[0] - 'A');
    return true;
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// One command of the control channel or its option twin; false when it is not understood.
bool applyCommand(PtyLinkServer& server, const std::vector<std::string>& words) {
    if (words.empty()) return true;
    DeviceOptions options = server.options();
    const std::string& command = words[0];
    long value = 0;
    if (command == "mode" && words.size() == 2) {
        if (words[1] == "normal") options.mode = AnswerMode::Normal;
        else if (words[1] == "alive") options.mode = AnswerMode::Alive;
        else if (words[1] == "silent") options.mode = AnswerMode::Silent;
        else return false;
    } else if ((command == "nack-write" || command == "nack-read" || command == "corrupt") && words.size() == 2 &&
               parseNumber(words[1], value)) {
        int& field = command == "nack-write" ? options.nackWrite : command == "nack-read" ? options.nackRead : options.corruptRead;
        field = static_cast<int>(value);
    } else if (command == "checksum" && words.size() == 2) {
        options.checkChecksum = words[1] != "off";
    } else if (command == "delay" && words.size() == 2 && parseNumber(words[1], value) && value >= 0) {
        server.setAnswerDelayMs(static_cast<uint32_t>(value));
        return true;
    } else if (command == "drop" && words.size() == 4) {
        size_t port;
        long frames, downMs;
        if (!parsePort(words[1], server.portCount(), port) || !parseNumber(words[2], frames) || !parseNumber(words[3], downMs) ||
            frames < 0 || downMs < 0)
            return false;
        server.dropPort(port, static_cast<uint32_t>(frames), static_cast<uint32_t>(downMs));
        return true;
    } else if (command == "clear" && words.size() == 1) {
        server.clearMessage();
        return true;
    } else if (command == "quit" && words.size() == 1) {
        ::kill(::getpid(), SIGTERM);
        return true;
    } else {
        return false;
    }
    server.setOptions(options);
    return true;
}

std::vector<std::string> split(const std::string& line, char separator = ' ') {
    std::vector<std::string> words;
    std::istringstream stream(line);
    std::string word;
    while (std::getline(stream, word, separator))
        if (!word.empty()) words.push_back(word);
    return words;
}

// Reads the control FIFO for the life of the process; opened for writing too, so it never
// reports end-of-file when a writer goes away.
void readControl(PtyLinkServer& server, int fd) {
    std::string pending;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!applyCommand(server, split(line))) std::fprintf(stderr, "link-sim: not understood: %s\n", line.c_str());
        }
    }
}

struct Arguments {
    std::vector<std::string> links;
    std::vector<std::vector<std::string>> commands;  // options given as control commands
    std::string control;
    bool verbose = false;
};

bool parseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto next = [&](std::string& value) {
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        std::string value;
        if (option == "--link" && next(value)) args.links.push_back(value);
        else if (option == "--alive") args.commands.push_back({"mode", "alive"});
        else if (option == "--silent") args.commands.push_back({"mode", "silent"});
        else if (option == "--no-checksum") args.commands.push_back({"checksum", "off"});
        else if ((option == "--nack-write" || option == "--nack-read" || option == "--corrupt" || option == "--delay") && next(value))
            args.commands.push_back({option.substr(2), value});
        else if (option == "--drop" && next(value)) {
            std::vector<std::string> parts = split(value, ':');
            parts.insert(parts.begin(), "drop");
            args.commands.push_back(parts);
        } else if (option == "--control" && next(value)) args.control = value;
        else if (option == "--verbose") args.verbose = true;
        else return false;
    }
    return !args.links.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!parseArguments(argc, argv, args)) {
        usage();
        return 2;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // taken by sigwait below, in every thread

    PtyLinkServer server(args.links);
    server.setLog([](const std::string& line) { say(line); }, args.verbose);
    for (const auto& command : args.commands) {
        if (!applyCommand(server, command)) {
            usage();
            return 2;
        }
    }
    std::string error;
    if (!server.start(error)) {
        std::fprintf(stderr, "link-sim: %s\n", error.c_str());
        return 1;
    }

    bool createdFifo = false;
    if (!args.control.empty()) {
        struct stat info {};
        if (::stat(args.control.c_str(), &info) != 0) createdFifo = ::mkfifo(args.control.c_str(), 0600) == 0;
        const int fd = ::open(args.control.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "link-sim: cannot open %s: %s\n", args.control.c_str(), std::strerror(errno));
            return 1;
        }
        std::thread([&server, fd] { readControl(server, fd); }).detach();
    }
    say("ready");

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    if (createdFifo) ::unlink(args.control.c_str());
    std::fflush(stdout);
    std::_Exit(0);  // the control reader may still be blocked in read()
}
