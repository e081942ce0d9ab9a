// morvanta-cli bulk killed with SIGKILL over and over on one folder, at
// random moments and at chosen ones (between two files, in a WHOIS search, in
// a send, inside a table write), and restarted each time. However it is
// killed, no message may be lost and the tables must open without repair.
//
// The run plan comes from a seed, printed with every failure; set
// MORVANTA_KILL_SEED to repeat a plan.
#include "base/Clock.h"
#include "base/Text.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/SmtpTestServer.h"
#include "fixtures/TableFiles.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>


namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int KilledRuns = 32;

// --- The folder of saved messages -------------------------------------------

enum class Kind {
    Cached, // its source is in IPList already
    Searched, // its source needs a WHOIS search, which finds an address
    NoAddress, // the search for its source finds no address: spooled
    NoSource, // no source address at all: spooled
};

struct Message {
    std::string name;
    Kind kind;
    std::string address;
    std::string recipients; // what it must be reported to; empty when spooled
    std::string marker;
    std::string content;
};

struct CachedSource {
    const char* address;
    const char* list;
    int reports;
};

constexpr CachedSource CachedSources[] = {
    { "62.4.18.10", "abuse@cached-one.example", 5 },
    { "85.12.40.20", "abuse@cached-two.example,noc@cached-two.example", 1 },
    { "62.4.19.30", "abuse@cached-three.example", 12 },
};

std::string ListFoundByRegistry(const std::string& address)
{
    std::string dashed = address;
    std::replace(dashed.begin(), dashed.end(), '.', '-');
    return "abuse@" + dashed + ".example.net";
}

std::vector<Message> MakeMessages()
{
    std::vector<Message> messages;
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "msg-%02d.eml", i);
        Message message;
        message.name = name;
        message.marker = "kill-marker-" + std::to_string(1000 + i);
        if (i % 10 <= 2) {
            const CachedSource& source = CachedSources[static_cast<size_t>(i) % std::size(CachedSources)];
            message.kind = Kind::Cached;
            message.address = source.address;
            message.recipients = source.list;
        } else if (i % 10 == 3) {
            message.kind = Kind::NoSource;
        } else if (i % 20 == 9) {
            message.kind = Kind::NoAddress;
            message.address = "91.203.5." + std::to_string(i);
        } else {
            message.kind = Kind::Searched;
            message.address = (i % 2 ? "85.12.40." : "62.4.17.") + std::to_string(100 + i);
            message.recipients = ListFoundByRegistry(message.address);
        }
        Lines lines;
        if (!message.address.empty()) {
            lines.push_back("Received: from relay.spam.example (relay.spam.example [" + message.address + "])");
            lines.push_back("\tby mx.mine.example (Postfix) with ESMTP id 4F1A2C" + std::to_string(i));
        }
        lines.insert(lines.end(), { "From: \"Prize Office\" <winner@spam.example>",
                                    "Subject: offer " + std::to_string(i), "", "Claim your prize.", message.marker });
        message.content = JoinLinesCrLf(lines);
        messages.push_back(std::move(message));
    }
    return messages;
}

// --- Where a stopped run stands ---------------------------------------------

enum class Moment { BetweenFiles, WhoisSearch, Send, TableWrite, Elsewhere };

constexpr Moment Moments[]
    = { Moment::BetweenFiles, Moment::WhoisSearch, Moment::Send, Moment::TableWrite, Moment::Elsewhere };

const char* MomentName(Moment moment)
{
    switch (moment) {
    case Moment::BetweenFiles: return "between files";
    case Moment::WhoisSearch: return "in a WHOIS search";
    case Moment::Send: return "in a send";
    case Moment::TableWrite: return "in a table write";
    case Moment::Elsewhere: return "elsewhere";
    }
    return "?";
}

std::string ReadProcFile(const std::string& path)
{
    std::ifstream stream(path);
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
}

// The remote ports of the process's TCP connections, from its descriptors
// and the socket table of its network.
std::set<int> ConnectedPorts(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::set<std::string> inodes;
    if (DIR* folder = opendir((proc + "/fd").c_str())) {
        while (dirent* entry = readdir(folder)) {
            char target[256];
            ssize_t length = readlink((proc + "/fd/" + entry->d_name).c_str(), target, sizeof target - 1);
            if (length <= 0)
                continue;
            std::string link(target, static_cast<size_t>(length));
            if (link.rfind("socket:[", 0) == 0)
                inodes.insert(link.substr(8, link.size() - 9));
        }
        closedir(folder);
    }
    std::set<int> ports;
    std::istringstream table(ReadProcFile(proc + "/net/tcp"));
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (inodes.count(inode) && state != "0A") // 0A: listening
            ports.insert(std::stoi(remote.substr(remote.find(':') + 1), nullptr, 16));
    }
    return ports;
}

// Whether the process holds SQLite's WAL write or checkpoint lock (bytes 120
// and 121 of the "-shm" file) on one of the files: it is inside a write
// transaction or a checkpoint.
bool HoldsWalWriteLock(pid_t pid, const Lines& shmFiles)
{
    std::set<std::string> ids;
    for (const std::string& path : shmFiles) {
        struct stat info { };
        if (::stat(path.c_str(), &info) != 0)
            continue;
        char id[64];
        std::snprintf(id, sizeof id, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                      static_cast<unsigned long>(info.st_ino));
        ids.insert(id);
    }
    std::istringstream locks(ReadProcFile("/proc/locks"));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, type, advisory, mode, holder, id, start, end;
        fields >> number >> type;
        if (type == "->") // a waiter, not a holder
            continue;
        fields >> advisory >> mode >> holder >> id >> start >> end;
        if (type == "POSIX" && mode == "WRITE" && holder == std::to_string(pid) && ids.count(id)
            && std::stol(start) <= 121 && (end == "EOF" || std::stol(end) >= 120))
            return true;
    }
    return false;
}

// Blocked writing a result line to standard output: write(1, ...).
bool WritingResultLine(pid_t pid)
{
    return ReadProcFile("/proc/" + std::to_string(pid) + "/syscall").rfind("1 0x1 ", 0) == 0;
}

struct Peers {
    int whoisPort = 0;
    int smtpPort = 0;
    Lines shmFiles;
};

Moment MomentOf(pid_t pid, const Peers& peers)
{
    if (WritingResultLine(pid))
        return Moment::BetweenFiles;
    if (HoldsWalWriteLock(pid, peers.shmFiles))
        return Moment::TableWrite;
    std::set<int> ports = ConnectedPorts(pid);
    if (ports.count(peers.smtpPort))
        return Moment::Send;
    if (ports.count(peers.whoisPort))
        return Moment::WhoisSearch;
    return Moment::Elsewhere;
}

// --- One run of the tool -------------------------------------------------------

// morvanta-cli in the background: standard output read as it comes,
// standard error into a file.
class BulkRun {
public:
    struct Options {
        Lines arguments;
        Lines environment; // added to this process's
        std::string errorFile;
        // Standard output has room for less than a line, so the run blocks
        // writing the result of its first file until it is read.
        bool fullOutput = false;
    };

    explicit BulkRun(const Options& options)
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        if (options.fullOutput) {
            fcntl(out[1], F_SETPIPE_SZ, 4096);
            const int room = fcntl(out[1], F_GETPIPE_SZ);
            const std::string filler = std::string(static_cast<size_t>(room) - 9, '#') + "\n";
            if (room != 4096 || write(out[1], filler.data(), filler.size()) != static_cast<ssize_t>(filler.size()))
                throw std::runtime_error("cannot fill the output pipe");
        }
        Lines args { MORVANTA_CLI };
        args.insert(args.end(), options.arguments.begin(), options.arguments.end());
        Lines env = EnvironmentWith(options.environment);
        std::vector<char*> argp;
        for (std::string& arg : args)
            argp.push_back(arg.data());
        argp.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        const int error = open(options.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (error < 0)
            throw std::runtime_error("cannot create " + options.errorFile);
        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(error, 2);
            execve(argp[0], argp.data(), envp.data());
            _exit(127);
        }
        close(error);
        close(out[1]);
        out_ = out[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
    }

    ~BulkRun()
    {
        Kill();
        close(out_);
    }

    BulkRun(const BulkRun&) = delete;
    BulkRun& operator=(const BulkRun&) = delete;

    [[nodiscard]] pid_t Pid() const { return pid_; }

    // Waits up to the limit for output, then takes what there is.
    void ReadOutput(milliseconds limit)
    {
        pollfd entry { out_, POLLIN, 0 };
        if (poll(&entry, 1, static_cast<int>(limit.count())) <= 0)
            return;
        char buffer[4096];
        ssize_t count;
        while ((count = read(out_, buffer, sizeof buffer)) > 0)
            pending_.append(buffer, static_cast<size_t>(count));
        size_t end;
        while ((end = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (line.empty() || line[0] != '#')
                lines_.push_back(std::move(line));
        }
    }

    enum class State { Running, Stopped, Ended };

    State Check()
    {
        if (pid_ <= 0)
            return State::Ended;
        if (stopped_)
            return State::Stopped;
        int status = 0;
        pid_t changed = waitpid(pid_, &status, WNOHANG | WUNTRACED);
        if (changed == pid_ && WIFSTOPPED(status)) {
            stopped_ = true;
            return State::Stopped;
        }
        if (changed == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            return State::Ended;
        }
        return State::Running;
    }

    void Freeze()
    {
        if (pid_ <= 0 || stopped_)
            return;
        kill(pid_, SIGSTOP);
        int status = 0;
        while (waitpid(pid_, &status, WUNTRACED) == pid_) {
            if (WIFSTOPPED(status)) {
                stopped_ = true;
                return;
            }
            // It ended before the signal came.
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            return;
        }
    }

    void Thaw()
    {
        if (pid_ > 0 && stopped_) {
            stopped_ = false;
            kill(pid_, SIGCONT);
        }
    }

    void Kill()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        stopped_ = false;
        killed_ = true;
    }

    // Everything it wrote, once it is gone.
    void DrainOutput() { ReadOutput(milliseconds(0)); }

    [[nodiscard]] const Lines& OutputLines() const { return lines_; }
    [[nodiscard]] bool Killed() const { return killed_; }
    [[nodiscard]] int ExitStatus() const { return exitStatus_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool stopped_ = false;
    bool killed_ = false;
    int exitStatus_ = -1;
    std::string pending_;
    Lines lines_;
};

// --- The peers ---------------------------------------------------------------

// Every registry answers after a short random pause, or, while held, not
// until released (10 seconds at most), so that a run can be caught in a
// search.
class RegistryPace {
public:
    explicit RegistryPace(unsigned seed)
        : random_(seed)
    {
    }

    void Wait()
    {
        std::unique_lock guard(lock_);
        const milliseconds pause(std::uniform_int_distribution<int>(1, 20)(random_));
        released_.wait_for(guard, std::chrono::seconds(10), [this] { return !held_; });
        guard.unlock();
        std::this_thread::sleep_for(pause);
    }

    void Hold()
    {
        std::lock_guard guard(lock_);
        held_ = true;
    }

    void Release()
    {
        {
            std::lock_guard guard(lock_);
            held_ = false;
        }
        released_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable released_;
    bool held_ = false;
    std::mt19937 random_;
};

const std::string NoEntries = "% This is a test registry.\n\n%ERROR:101: no entries found\n%\n";

// --- The campaign ------------------------------------------------------------

enum class Plan { AtRandom, BetweenFiles, InWhoisSearch, InSend, InTableWrite };

const char* PlanName(Plan plan)
{
    switch (plan) {
    case Plan::AtRandom: return "at random";
    case Plan::BetweenFiles: return "between files";
    case Plan::InWhoisSearch: return "in a WHOIS search";
    case Plan::InSend: return "in a send";
    case Plan::InTableWrite: return "in a table write";
    }
    return "?";
}

Moment PlannedMoment(Plan plan)
{
    switch (plan) {
    case Plan::BetweenFiles: return Moment::BetweenFiles;
    case Plan::InWhoisSearch: return Moment::WhoisSearch;
    case Plan::InSend: return Moment::Send;
    case Plan::InTableWrite: return Moment::TableWrite;
    case Plan::AtRandom: break;
    }
    return Moment::Elsewhere;
}

// The first runs are killed at each chosen moment twice, while the folder
// still holds files of every kind; then half of the kills come at random.
std::vector<Plan> MakePlans(std::mt19937& random)
{
    const Plan chosen[] = { Plan::BetweenFiles, Plan::InWhoisSearch, Plan::InSend, Plan::InTableWrite };
    std::vector<Plan> plans;
    for (int round = 0; round < 2; ++round)
        plans.insert(plans.end(), std::begin(chosen), std::end(chosen));
    std::shuffle(plans.begin(), plans.end(), random);
    while (plans.size() < KilledRuns) {
        const int pick = std::uniform_int_distribution<int>(0, 7)(random);
        plans.push_back(pick < 4 ? Plan::AtRandom : chosen[pick - 4]);
    }
    return plans;
}

struct KillTiming {
    milliseconds after; // at random: the kill comes this long after the start
    milliseconds sendFor; // in a send: this long after the connection opened
};

struct RunResult {
    std::optional<Moment> killedAt; // nothing: it ran to its end
    Lines printed;
};

// Runs the tool until the plan's moment comes, and kills it there. Every
// moment is confirmed with the run stopped, so that what it was doing when
// killed is known, not guessed.
RunResult RunAndKill(const BulkRun::Options& options, Plan plan, KillTiming timing, const Peers& peers)
{
    RunResult result;
    const auto started = Clock::now();
    bool sending = false;
    Clock::time_point sendingSince {};
    BulkRun run(options);
    while (!result.killedAt) {
        if (Clock::now() - started > std::chrono::seconds(10))
            throw std::runtime_error(std::string("a run planned to be killed ") + PlanName(plan)
                                     + " neither ended nor came to that moment in 10 seconds");
        // Between files, standard output is left full until the kill.
        if (plan == Plan::BetweenFiles)
            std::this_thread::sleep_for(milliseconds(1));
        else
            run.ReadOutput(milliseconds(1));
        const BulkRun::State state = run.Check();
        if (state == BulkRun::State::Ended)
            break;
        bool due = false;
        switch (plan) {
        // At the latest once it has reported one file, so that every run
        // leaves work for the next.
        case Plan::AtRandom: due = Clock::now() - started >= timing.after || !run.OutputLines().empty(); break;
        case Plan::BetweenFiles: due = WritingResultLine(run.Pid()); break;
        case Plan::InWhoisSearch: due = ConnectedPorts(run.Pid()).count(peers.whoisPort) > 0; break;
        case Plan::InSend:
            if (!ConnectedPorts(run.Pid()).count(peers.smtpPort)) {
                sending = false;
            } else if (!sending) {
                sending = true;
                sendingSince = Clock::now();
            }
            due = sending && Clock::now() - sendingSince >= timing.sendFor;
            break;
        case Plan::InTableWrite: due = state == BulkRun::State::Stopped; break;
        }
        if (!due)
            continue;
        run.Freeze();
        if (run.Check() == BulkRun::State::Ended)
            break;
        const Moment moment = MomentOf(run.Pid(), peers);
        // Caught just after the moment passed: wait for the next one.
        if (plan != Plan::AtRandom && plan != Plan::InTableWrite && moment != PlannedMoment(plan)) {
            run.Thaw();
            continue;
        }
        run.Kill();
        result.killedAt = moment;
    }
    run.DrainOutput();
    result.printed = run.OutputLines();
    return result;
}

struct Outcome {
    std::string failure; // empty when the campaign could be run
    Lines killLog;
    std::map<Moment, int> kills;
    int runsToTheEnd = 0;
    Lines printed; // the result lines of every run
    Lines delivered; // per message the server took: marker TAB recipients
    Lines complaints; // texts a run should not have shown
    int finalExitStatus = -1;
    std::string finalErrors;

    [[nodiscard]] std::string Pack() const
    {
        Lines fields { failure,
                       JoinLines(killLog),
                       JoinLines(printed),
                       JoinLines(delivered),
                       JoinLines(complaints),
                       std::to_string(finalExitStatus),
                       finalErrors,
                       std::to_string(runsToTheEnd) };
        for (Moment moment : Moments)
            fields.push_back(std::to_string(kills.count(moment) ? kills.at(moment) : 0));
        return PackFields(fields);
    }

    static Outcome Unpack(const std::string& packed)
    {
        Lines fields = UnpackFields(packed);
        Outcome outcome;
        if (fields.size() != 8 + std::size(Moments)) {
            outcome.failure = "the campaign ended early: " + packed;
            return outcome;
        }
        outcome.failure = fields[0];
        outcome.killLog = SplitLines(fields[1]);
        outcome.printed = SplitLines(fields[2]);
        outcome.delivered = SplitLines(fields[3]);
        outcome.complaints = SplitLines(fields[4]);
        outcome.finalExitStatus = std::stoi(fields[5]);
        outcome.finalErrors = fields[6];
        outcome.runsToTheEnd = std::stoi(fields[7]);
        for (size_t i = 0; i < std::size(Moments); ++i)
            outcome.kills[Moments[i]] = std::stoi(fields[8 + i]);
        return outcome;
    }

    static std::string JoinLines(const Lines& lines)
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }
};

class BulkKill : public ::testing::Test {
protected:
    BulkKill()
        : messages(MakeMessages())
    {
        const char* fixed = std::getenv("MORVANTA_KILL_SEED");
        seed = fixed ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10)) : std::random_device {}();

        WriteFile(folder / "VirusReport.txt", "A virus came from %IP%.\r\n");
        const int today = SystemClock::Instance().LocalNow().DayNumber();
        std::vector<TableRow> rows;
        for (const CachedSource& source : CachedSources)
            rows.push_back({ 0, IPListValues(source.address, source.list, today, "", today - 31, source.reports) });
        WriteTableFile(folder / "IPList.db", IPListTableDef(), rows);
        WriteTableFile(folder / "IPStats.db", IPStatsTableDef(), {});
        for (const Message& message : messages)
            WriteFile(inbox / message.name, message.content);
    }

    // The campaign, in a network of its own: registries and mail server on
    // its loopback, a name service that knows none of the sources.
    Outcome RunCampaign()
    {
        std::optional<std::string> packed = RunInPrivateNetwork(
            "127.0.0.1 localhost\n", [this] { return Campaign().Pack(); }, std::chrono::seconds(100));
        if (packed)
            return Outcome::Unpack(*packed);
        Outcome none;
        none.failure = "no private network namespace on this system";
        return none;
    }

    Outcome Campaign()
    {
        Outcome outcome;
        std::mt19937 random(seed);
        RegistryPace pace(seed);
        std::set<std::string> withoutAddress;
        for (const Message& message : messages)
            if (message.kind == Kind::NoAddress)
                withoutAddress.insert(message.address);
        LoopbackRegistries registries;
        auto arin = whois_text::ArinLikeResponder();
        for (Registry registry : AllRegistries) {
            registries.AnswerOthers(registry, [&pace, &withoutAddress, arin, registry](const std::string& query) {
                pace.Wait();
                if (registry != Registry::Arin)
                    return NoEntries;
                const std::string address = query.starts_with("+ ") ? query.substr(2) : query;
                return withoutAddress.count(address) ? whois_text::ArinNoMatch(query) : arin(query);
            });
        }
        const std::string holdFile = logs / "hold-data";
        SmtpTestServer::Options smtpOptions;
        smtpOptions.replyDelay = milliseconds(30);
        smtpOptions.delaySeed = seed;
        smtpOptions.holdFile = holdFile;
        SmtpTestServer server(smtpOptions);
        WriteFile(folder / "Morvanta.ini",
                  "[MailOptions]\r\nHostAddress=127.0.0.1\r\nPort=" + std::to_string(server.Port())
                      + "\r\nDefaultFromEMailAddress=reporter@example.org\r\n[Options]\r\n" + registries.OptionsIni());
        const Peers peers { registries.Port(), server.Port(), { folder / "IPList.db-shm", folder / "IPStats.db-shm" } };

        // A sanitizer runtime would refuse to come after the preloaded library.
        std::string sanitizerOptions = "ASAN_OPTIONS=verify_asan_link_order=0";
        if (const char* options = std::getenv("ASAN_OPTIONS"))
            sanitizerOptions += std::string(":") + options;

        const std::vector<Plan> plans = MakePlans(random);
        for (size_t number = 0; number < plans.size(); ++number) {
            const Plan plan = plans[number];
            BulkRun::Options options;
            options.arguments = { "--folder", folder.Path(), "bulk", inbox.Path() };
            options.environment = { "XDG_CONFIG_HOME=" + home.Path() };
            options.errorFile = logs / ("run-" + std::to_string(number) + ".err");
            options.fullOutput = plan == Plan::BetweenFiles;
            int writeNumber = 0;
            if (plan == Plan::InTableWrite) {
                writeNumber = std::uniform_int_distribution<int>(1, 12)(random);
                options.environment.push_back(std::string("LD_PRELOAD=") + MORVANTA_STOP_BEFORE_CALL_LIBRARY);
                options.environment.push_back("MORVANTA_STOP_BEFORE=write:.db-wal:" + std::to_string(writeNumber));
                options.environment.push_back(sanitizerOptions);
            }
            if (plan == Plan::InWhoisSearch)
                pace.Hold();
            if (plan == Plan::InSend)
                WriteFile(holdFile, "");
            const KillTiming timing { milliseconds(std::uniform_int_distribution<int>(0, 300)(random)),
                                      milliseconds(std::uniform_int_distribution<int>(0, 60)(random)) };
            const auto started = Clock::now();
            const RunResult result = RunAndKill(options, plan, timing, peers);
            outcome.printed.insert(outcome.printed.end(), result.printed.begin(), result.printed.end());
            pace.Release();
            ::unlink(holdFile.c_str());

            const auto lasted = std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
            std::string entry = "run " + std::to_string(number) + ", planned " + PlanName(plan)
                                + (plan == Plan::InTableWrite ? " (write " + std::to_string(writeNumber) + ")" : "")
                                + (plan == Plan::AtRandom ? " (" + std::to_string(timing.after.count()) + " ms)" : "");
            if (result.killedAt) {
                ++outcome.kills[*result.killedAt];
                entry += ": killed " + std::string(MomentName(*result.killedAt)) + " after " + std::to_string(lasted)
                         + " ms";
            } else {
                ++outcome.runsToTheEnd;
                entry += ": ran to its end";
            }
            entry += ", " + std::to_string(ListFolder(inbox.Path()).size()) + " files left";
            outcome.killLog.push_back(entry);
            const std::string errors = ReadFile(options.errorFile);
            for (const std::string& line : SplitLines(errors)) {
                if (line.rfind("Error: ", 0) == 0 || line.find("Could not") != std::string::npos
                    || line.find("Cannot") != std::string::npos)
                    outcome.complaints.push_back("run " + std::to_string(number) + ": " + line);
            }
        }

        ProcessResult last
            = RunCli({ "--folder", folder.Path(), "bulk", inbox.Path() }, {}, { "XDG_CONFIG_HOME=" + home.Path() });
        outcome.finalExitStatus = last.exitStatus;
        outcome.finalErrors = last.err;
        const Lines lastLines = SplitLines(last.out);
        outcome.printed.insert(outcome.printed.end(), lastLines.begin(), lastLines.end());

        for (int i = 1; i <= server.MessageCount(); ++i) {
            const std::string raw = server.RawMessage(i);
            std::string markers;
            for (const Message& message : messages)
                if (raw.find(message.marker + "\r\n") != std::string::npos)
                    markers += (markers.empty() ? "" : "+") + message.marker;
            std::string recipients;
            for (const std::string& recipient : server.Envelope(i).recipients)
                recipients += (recipients.empty() ? "" : ",") + recipient;
            outcome.delivered.push_back(markers + "\t" + recipients);
        }
        return outcome;
    }

    [[nodiscard]] static ino_t Inode(const std::string& path)
    {
        struct stat info { };
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    std::vector<Message> messages;
    unsigned seed = 0;
    TempDir folder;
    TempDir home;
    TempDir inbox;
    TempDir logs;
};

TEST_F(BulkKill, KilledAnywhereManyTimesNoMessageIsLostAndTheTablesNeedNoRepair)
{
    SCOPED_TRACE("seed " + std::to_string(seed) + " (MORVANTA_KILL_SEED=" + std::to_string(seed)
                 + " repeats the plan)");
    const int firstDay = SystemClock::Instance().LocalNow().DayNumber();
    const ino_t contactsInode = Inode(folder / "IPList.db");
    const ino_t lookupsInode = Inode(folder / "IPStats.db");

    const Outcome outcome = RunCampaign();
    ASSERT_EQ(outcome.failure, "");
    const int lastDay = SystemClock::Instance().LocalNow().DayNumber();

    std::string summary = "seed " + std::to_string(seed) + ": ";
    for (Moment moment : Moments)
        summary += std::to_string(outcome.kills.at(moment)) + " killed " + MomentName(moment) + ", ";
    summary += std::to_string(outcome.runsToTheEnd) + " ran to their end, " + std::to_string(outcome.delivered.size())
               + " reports delivered for " + std::to_string(messages.size()) + " messages";
    std::printf("%s\n", summary.c_str());
    std::string killLog;
    for (const std::string& line : outcome.killLog)
        killLog += line + "\n";
    SCOPED_TRACE(killLog);

    // Every chosen moment was really hit.
    for (Moment moment : { Moment::BetweenFiles, Moment::WhoisSearch, Moment::Send, Moment::TableWrite })
        EXPECT_GE(outcome.kills.at(moment), 1) << "no run was killed " << MomentName(moment);
    int killed = 0;
    for (Moment moment : Moments)
        killed += outcome.kills.at(moment);
    EXPECT_GE(killed, 25);

    EXPECT_EQ(outcome.finalExitStatus, 0) << outcome.finalErrors;
    EXPECT_NE(outcome.finalErrors.find("Finished bulk reporting.\n"), std::string::npos) << outcome.finalErrors;
    EXPECT_EQ(outcome.complaints, Lines {});
    EXPECT_EQ(outcome.finalErrors.find("Error: "), std::string::npos) << outcome.finalErrors;
    EXPECT_EQ(ListFolder(inbox.Path()), Lines {});

    // Every message went out to its addresses, or stands whole in the spool,
    // at least once; never both ways.
    std::map<std::string, int> deliveries;
    for (const std::string& line : outcome.delivered) {
        const size_t tab = line.find('\t');
        const std::string marker = line.substr(0, tab);
        const auto message = std::find_if(messages.begin(), messages.end(),
                                          [&](const Message& candidate) { return candidate.marker == marker; });
        ASSERT_NE(message, messages.end()) << "a report of no single message of ours: " << line;
        EXPECT_EQ(line.substr(tab + 1), message->recipients) << message->name;
        ++deliveries[marker];
    }
    std::map<std::string, int> spoolings;
    for (const std::string& name : ListFolder(folder / "UnProcessableSpam")) {
        if (name.rfind("_MV", 0) != 0)
            continue;
        const std::string content = ReadFile(folder / ("UnProcessableSpam/" + name));
        const auto message = std::find_if(messages.begin(), messages.end(),
                                          [&](const Message& candidate) { return candidate.content == content; });
        ASSERT_NE(message, messages.end()) << "spool file " << name << " holds no whole message: " << content;
        ++spoolings[message->marker];
    }
    int duplicates = 0;
    for (const Message& message : messages) {
        SCOPED_TRACE(message.name);
        const int delivered = deliveries[message.marker];
        const int spooled = spoolings[message.marker];
        if (message.recipients.empty()) {
            EXPECT_GE(spooled, 1) << "lost";
            EXPECT_EQ(delivered, 0);
        } else {
            EXPECT_GE(delivered, 1) << "lost";
            EXPECT_EQ(spooled, 0);
        }
        duplicates += std::max(delivered + spooled - 1, 0);
    }
    std::printf("%d messages were reported or spooled more than once\n", duplicates);

    // The tables open as they are: never repaired or replaced, no damage.
    for (const std::string& name : ListFolder(folder.Path())) {
        EXPECT_EQ(name.find(".bak-"), std::string::npos) << name;
        EXPECT_EQ(name.find(".rebuild"), std::string::npos) << name;
    }
    EXPECT_EQ(Inode(folder / "IPList.db"), contactsInode);
    EXPECT_EQ(Inode(folder / "IPStats.db"), lookupsInode);
    for (const auto& [file, definition] :
         { std::pair { "IPList.db", &IPListTableDef() }, std::pair { "IPStats.db", &IPStatsTableDef() } }) {
        SCOPED_TRACE(file);
        EXPECT_EQ(Query(folder / file, "PRAGMA integrity_check"), Lines { "ok" });
        OpenedTableFile opened = OpenTableFile(folder / file, *definition);
        EXPECT_EQ(DiagnoseTableDamage(opened.connection, folder / file), 0);
    }

    // What the runs printed happened: each look-up they report was counted.
    std::map<std::string, int> printedLookups;
    int lookupsPrinted = 0;
    for (const std::string& line : outcome.printed) {
        Lines fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        ASSERT_EQ(fields.size(), 4u) << line;
        EXPECT_TRUE(fields[3] == "sent" || fields[3] == "spooled") << line;
        if (!fields[1].empty()) {
            ++printedLookups[fields[1]];
            ++lookupsPrinted;
        }
    }

    EXPECT_EQ(Query(folder / "IPList.db", "SELECT IP FROM IPList NOT INDEXED GROUP BY IP HAVING count(*) > 1"),
              Lines {});
    std::map<std::string, const TableRow*> contacts;
    const std::vector<TableRow> contactRows = ReadRows(folder / "IPList.db", IPListTableDef());
    for (const TableRow& row : contactRows) {
        ASSERT_EQ(row.values.size(), 6u);
        ASSERT_TRUE(row.values[0].IsText());
        EXPECT_TRUE(contacts.emplace(row.values[0].Text(), &row).second) << row.values[0].Text() << " twice";
    }
    std::map<std::string, int> seededReports;
    for (const CachedSource& source : CachedSources)
        seededReports[source.address] = source.reports;
    std::set<std::string> addresses;
    for (const Message& message : messages) {
        if (message.address.empty())
            continue;
        addresses.insert(message.address);
        SCOPED_TRACE(message.address);
        const auto found = contacts.find(message.address);
        if (message.recipients.empty()) {
            EXPECT_EQ(found, contacts.end()) << "an address without contacts was cached";
            continue;
        }
        ASSERT_NE(found, contacts.end()) << "not cached";
        const std::vector<TableValue>& values = found->second->values;
        EXPECT_EQ(values[1], TableValue(message.recipients));
        ASSERT_TRUE(values[2].IsDate());
        EXPECT_GE(values[2].Date().dayNumber, message.kind == Kind::Cached ? firstDay - 1 : firstDay);
        EXPECT_LE(values[2].Date().dayNumber, lastDay);
        EXPECT_EQ(values[3], TableValue(""));
        EXPECT_EQ(values[4], TableValue(TableDate { values[2].Date().dayNumber - 31 }));
        ASSERT_TRUE(values[5].IsInteger());
        EXPECT_GE(values[5].Integer(), seededReports[message.address] + printedLookups[message.address]);
    }
    EXPECT_EQ(contacts.size(), std::size(CachedSources) + 22);

    const std::vector<TableRow> lookupRows = ReadRows(folder / "IPStats.db", IPStatsTableDef());
    EXPECT_GE(lookupRows.size(), static_cast<size_t>(lookupsPrinted));
    for (const TableRow& row : lookupRows) {
        ASSERT_EQ(row.values.size(), 3u);
        ASSERT_TRUE(row.values[0].IsText());
        EXPECT_TRUE(addresses.count(row.values[0].Text())) << row.values[0].Text();
        ASSERT_TRUE(row.values[1].IsDateTime());
        EXPECT_GE(row.values[1].DateTime().dayNumber, firstDay);
        EXPECT_LE(row.values[1].DateTime().dayNumber, lastDay);
        EXPECT_EQ(row.values[2], TableValue(0));
    }
}

// A run killed while it puts a message into the spool leaves it in the bulk
// folder or whole in the spool, never a spool file without the message.
TEST(BulkKillWhileSpooling, LeavesTheMessageInItsFolderOrWholeInTheSpool)
{
    const std::string message = "Subject: untraceable\r\n\r\nNo source anywhere.\r\n";
    struct Case {
        const char* name;
        const char* stop;
    };
    const Case cases[] = {
        { "writing the message", "write:/UnProcessableSpam/:1" },
        { "naming the spool file", "name:/UnProcessableSpam/_MV:1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        TempDir home;
        TempDir inbox;
        TempDir logs;
        ClosedPort refused;
        WriteFile(folder / "Morvanta.ini",
                  "[Options]\r\nDefaultWhoisHost=127.0.0.1\r\nAbuseWhoisHost=127.0.0.1\r\nWhoisPort="
                      + std::to_string(refused.Port()) + "\r\n");
        WriteFile(inbox / "1.eml", message);
        const Lines environment { "XDG_CONFIG_HOME=" + home.Path() };

        BulkRun::Options options;
        options.arguments = { "--folder", folder.Path(), "bulk", inbox.Path() };
        options.environment = environment;
        options.environment.push_back(std::string("LD_PRELOAD=") + MORVANTA_STOP_BEFORE_CALL_LIBRARY);
        options.environment.push_back(std::string("MORVANTA_STOP_BEFORE=") + c.stop);
        options.environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
        options.errorFile = logs / "killed.err";
        {
            BulkRun run(options);
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            while (run.Check() == BulkRun::State::Running && Clock::now() < deadline)
                std::this_thread::sleep_for(milliseconds(1));
            ASSERT_EQ(run.Check(), BulkRun::State::Stopped) << ReadFile(options.errorFile);
            run.Kill();
        }
        auto spooled = [&] {
            Lines contents;
            for (const std::string& name : ListFolder(folder / "UnProcessableSpam"))
                if (name.rfind("_MV", 0) == 0)
                    contents.push_back(ReadFile(folder / ("UnProcessableSpam/" + name)));
            return contents;
        };
        const Lines afterKill = spooled();
        EXPECT_TRUE(afterKill.empty() || afterKill == Lines { message });
        EXPECT_TRUE(!afterKill.empty() || PathExists(inbox / "1.eml"));

        ProcessResult last = RunCli({ "--folder", folder.Path(), "bulk", inbox.Path() }, {}, environment);
        EXPECT_EQ(last.exitStatus, 0) << last.err;
        EXPECT_EQ(ListFolder(inbox.Path()), Lines {});
        const Lines afterRestart = spooled();
        EXPECT_FALSE(afterRestart.empty());
        for (const std::string& content : afterRestart)
            EXPECT_EQ(content, message);
    }
}

} // namespace
} // namespace morvanta::test
