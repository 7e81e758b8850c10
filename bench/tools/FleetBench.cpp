// What the fleet options cost the monitor: the real rangeview-cli monitor on the simulator at the
// full rate (1440 frames a second), its processor time (all threads, from /proc) over a stretch
// of seconds, plain, with --mqtt --mqtt-readings (every reading published, to a Mosquitto
// started here on a free loopback port) and --metrics, and with that and a scrape every 100 ms.
//
// core_pct: share of one core the monitor used; readings_per_s: what it printed.
//   build/bench/tools/fleet_bench --benchmark_counters_tabular=true
//   RV_FLEET_BENCH_SECONDS=20 build/bench/tools/fleet_bench ...   (default 10 s a case)
#include <benchmark/benchmark.h>

#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using rv::test::ConnectTo;
using rv::test::FreePort;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int Seconds()
{
    const char* text = std::getenv("RV_FLEET_BENCH_SECONDS");
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 10;
}

// A program with its standard output on a pipe (or nowhere); killed at the end.
class Program {
public:
    Program(const std::string& exe, std::vector<std::string> args, bool keepOutput)
    {
        int out[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (keepOutput)
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&Pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            Pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        Out = out[0];
    }
    ~Program()
    {
        if (Pid > 0) {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
        if (Out >= 0)
            ::close(Out);
    }
    std::string FirstLine()
    {
        std::string line;
        char c = 0;
        pollfd fd{Out, POLLIN, 0};
        while (::poll(&fd, 1, 5000) > 0 && ::read(Out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    // User and system time of all its threads, in seconds.
    double CpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            return 0;
        std::vector<std::string> fields;
        std::string field;
        for (std::size_t i = close + 2; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += text[i];
            }
        }
        // Fields 14 and 15 of the whole line (utime, stime): 12 and 13 after the name.
        return fields.size() > 12 ? (std::stod(fields[11]) + std::stod(fields[12])) /
                                        static_cast<double>(::sysconf(_SC_CLK_TCK))
                                  : 0;
    }

    pid_t Pid = -1;
    int Out = -1;
};

// One HTTP/1.0 GET of /metrics; the bytes of the answer.
std::size_t Scrape(int port)
{
    const int s = ConnectTo(port);
    if (s < 0)
        return 0;
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::size_t total = 0;
    if (::send(s, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
        char buffer[8192];
        for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
            total += static_cast<std::size_t>(n);
    }
    ::close(s);
    return total;
}

// The broker, once for all cases.
struct Broker {
    Broker() : Port(FreePort())
    {
        char folder[] = "/tmp/rangeview-fleet-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr)
            return;
        Config = std::string(folder) + "/mosquitto.conf";
        std::ofstream(Config) << "user root\nlistener " << Port
                              << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
        Process = std::make_unique<Program>(RV_MOSQUITTO_EXE,
                                            std::vector<std::string>{"-c", Config}, false);
        for (int i = 0; i < 100; ++i) {
            if (const int s = ConnectTo(Port); s >= 0) {
                ::close(s);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
    }
    ~Broker()
    {
        Process.reset();
        std::remove(Config.c_str());
        std::remove(Config.substr(0, Config.rfind('/')).c_str());
    }
    int Port;
    std::string Config;
    std::unique_ptr<Program> Process;
};

Broker& TheBroker()
{
    static Broker broker;
    return broker;
}

enum class Case { Plain, Fleet, FleetScraped };

void MonitorCpu(benchmark::State& state, Case which)
{
    const int seconds = Seconds();
    for (auto _ : state) {
        Program sim(RV_SIM_EXE, {"--rate", "1440"}, true);
        const std::string port = sim.FirstLine();
        if (port.empty()) {
            state.SkipWithError("the simulator did not start");
            return;
        }
        std::vector<std::string> args{"monitor", "--port", port, "--baud", "115200"};
        const int metricsPort = FreePort();
        if (which != Case::Plain) {
            args.insert(args.end(),
                        {"--mqtt",
                         "mqtt://127.0.0.1:" + std::to_string(TheBroker().Port) + "/bench",
                         "--mqtt-readings", "--metrics", std::to_string(metricsPort)});
        }
        Program monitor(RV_CLI_EXE, args, true);
        // Its readings are counted here, as a terminal or a pipe would take them.
        std::atomic<bool> done{false};
        std::atomic<std::size_t> lines{0};
        std::thread reader([&] {
            char buffer[65536];
            pollfd fd{monitor.Out, POLLIN, 0};
            while (!done && ::poll(&fd, 1, 100) >= 0) {
                const ssize_t n = fd.revents != 0 ? ::read(monitor.Out, buffer, sizeof buffer) : 0;
                if (n < 0 || (fd.revents != 0 && n == 0))
                    break;
                for (ssize_t i = 0; i < n; ++i)
                    lines += buffer[i] == '\n';
            }
        });
        std::this_thread::sleep_for(1s); // past the start
        std::thread scraper;
        std::atomic<std::size_t> scrapes{0};
        if (which == Case::FleetScraped) {
            scraper = std::thread([&] {
                for (auto next = Clock::now(); !done; next += 100ms) {
                    if (Scrape(metricsPort) > 0)
                        ++scrapes;
                    std::this_thread::sleep_until(next + 100ms);
                }
            });
        }
        const std::size_t linesBefore = lines;
        const double cpuBefore = monitor.CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = monitor.CpuSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const std::size_t readings = lines - linesBefore;
        done = true;
        if (scraper.joinable())
            scraper.join();
        ::kill(monitor.Pid, SIGTERM);
        reader.join();
        state.SetIterationTime(wall);
        state.counters["core_pct"] = 100.0 * cpu / wall;
        state.counters["readings_per_s"] = static_cast<double>(readings) / wall;
        if (which == Case::FleetScraped)
            state.counters["scrapes_per_s"] = static_cast<double>(scrapes) / wall;
    }
}

BENCHMARK_CAPTURE(MonitorCpu, plain, Case::Plain)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(MonitorCpu, mqtt_readings_and_metrics, Case::Fleet)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(MonitorCpu, mqtt_readings_metrics_scrape_100ms, Case::FleetScraped)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
