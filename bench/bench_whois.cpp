// WHOIS queries per second against a loopback server that answers 4 KB and
// closes: the client in process, and morvanta-cli against the Debian whois
// client, each started once per query.
#include "net/WhoisClient.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr size_t AnswerSize = 4096;
const char* const Query = "192.0.2.1";

std::string MakeAnswer()
{
    std::string answer;
    for (int line = 0; answer.size() < AnswerSize; ++line)
        answer += "remarks:        loopback benchmark answer line " + std::to_string(line) + "\n";
    answer.resize(AnswerSize - 1);
    answer += '\n';
    return answer;
}

// Serves one connection after the other: reads the query line, sends the
// answer, closes.
class LoopbackWhoisServer {
public:
    LoopbackWhoisServer()
        : answer_(MakeAnswer())
    {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listen_, 128) != 0)
            throw std::runtime_error("cannot listen on loopback");
        socklen_t length = sizeof address;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        stop_ = eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }

    ~LoopbackWhoisServer()
    {
        uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
        close(listen_);
        close(stop_);
    }

    [[nodiscard]] int Port() const { return port_; }
    [[nodiscard]] size_t Served() const { return served_; }

private:
    void Serve()
    {
        for (;;) {
            pollfd entries[2] = { { listen_, POLLIN, 0 }, { stop_, POLLIN, 0 } };
            if (poll(entries, 2, -1) < 0 || entries[1].revents)
                return;
            int connection = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            Answer(connection);
            close(connection);
        }
    }

    void Answer(int connection)
    {
        std::string query;
        char buffer[1024];
        while (query.find('\n') == std::string::npos) {
            pollfd entry { connection, POLLIN, 0 };
            if (poll(&entry, 1, 5000) <= 0)
                return;
            ssize_t count = recv(connection, buffer, sizeof buffer, 0);
            if (count <= 0)
                return;
            query.append(buffer, static_cast<size_t>(count));
        }
        size_t sent = 0;
        while (sent < answer_.size()) {
            ssize_t count = send(connection, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                return;
            sent += static_cast<size_t>(count);
        }
        shutdown(connection, SHUT_WR);
        ++served_;
    }

    std::string answer_;
    int listen_ = -1;
    int stop_ = -1;
    int port_ = 0;
    std::atomic<size_t> served_ { 0 };
    std::thread thread_;
};

LoopbackWhoisServer& Server()
{
    static LoopbackWhoisServer server;
    return server;
}

void BM_WhoisQueryInProcess(benchmark::State& state)
{
    morvanta::WhoisClient whois;
    whois.Host = "127.0.0.1";
    whois.Port = Server().Port();
    whois.ReadTimeout = 5000;
    for (auto _ : state) {
        std::string answer = whois.Query(Query);
        if (answer.size() != AnswerSize) {
            state.SkipWithError("the answer came incomplete");
            break;
        }
        benchmark::DoNotOptimize(answer);
    }
    state.counters["queries_per_second"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WhoisQueryInProcess)->UseRealTime()->MinTime(2.0);

// Runs the program to its end with its output thrown away; the seconds it
// took, or a negative number when it failed.
double TimedRun(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    int status = 0;
    waitpid(child, &status, 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// A program folder whose settings send WHOIS queries to the loopback server,
// and a configuration home of its own.
class CliFolder {
public:
    explicit CliFolder(int port)
    {
        std::ofstream(Path() + "Morvanta.ini") << "[Options]\r\nWhoisPort=" << port << "\r\nNetworkTimeout=5\r\n";
        setenv("XDG_CONFIG_HOME", Path().c_str(), 1);
    }
    [[nodiscard]] const std::string& Path() const { return folder_.Path(); }

private:
    morvanta::bench::ScratchFolder folder_;
};

void BM_CliWhoisVersusDebianWhois(benchmark::State& state)
{
    const std::string cli = std::string(MORVANTA_PROGRAM_DIR) + "/morvanta-cli";
    const std::string debianWhois = "/usr/bin/whois";
    if (access(cli.c_str(), X_OK) != 0 || access(debianWhois.c_str(), X_OK) != 0) {
        state.SkipWithError("morvanta-cli or /usr/bin/whois is missing");
        return;
    }
    const std::string port = std::to_string(Server().Port());
    CliFolder folder(Server().Port());
    const std::vector<std::string> ours { cli, "--folder", folder.Path(), "whois", "-h", "127.0.0.1", Query };
    const std::vector<std::string> theirs { debianWhois, "-h", "127.0.0.1", "-p", port, Query };

    double ourSeconds = 0;
    double theirSeconds = 0;
    for (auto _ : state) {
        double our = TimedRun(ours);
        double their = TimedRun(theirs);
        if (our < 0 || their < 0) {
            state.SkipWithError(our < 0 ? "morvanta-cli whois failed" : "whois failed");
            return;
        }
        ourSeconds += our;
        theirSeconds += their;
    }
    const double queries = static_cast<double>(state.iterations());
    state.counters["cli_per_second"] = queries / ourSeconds;
    state.counters["whois_per_second"] = queries / theirSeconds;
    // Above 1: morvanta-cli is the faster of the two.
    state.counters["cli_vs_whois"] = theirSeconds / ourSeconds;
}
BENCHMARK(BM_CliWhoisVersusDebianWhois)->UseRealTime()->MinTime(5.0);

} // namespace
