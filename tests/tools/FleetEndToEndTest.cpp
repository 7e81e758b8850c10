// rangeview-cli monitor in a fleet: a real Mosquitto and Prometheus on loopback, simulators on
// pseudo-terminals, the real programs.

#include "FleetServers.h"
#include "OutputLines.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using rv::test::Broker;
using rv::test::ChildProcess;
using rv::test::FreePort;
using rv::test::ParseMonitorLines;
using rv::test::TempDir;

const std::string SimExe = RV_SIM_EXE;
const std::string CliExe = RV_CLI_EXE;
const std::string User = "tank";
const std::string Password = "s3cret";

std::string Sim(ChildProcess& sim)
{
    return sim.FirstLine();
}

std::string AuthFile(const std::string& folder, const std::string& password)
{
    const std::string path = folder + "/auth-" + password;
    rv::test::WriteText(path, User + ":" + password + "\n");
    ::chmod(path.c_str(), 0600);
    return path;
}

std::string Url(const Broker& broker, const std::string& prefix)
{
    return "mqtt://127.0.0.1:" + std::to_string(broker.Port) + "/" + prefix;
}

// A subscriber that prints "topic payload" lines; connected once a probe comes through.
std::unique_ptr<ChildProcess> Subscribe(const Broker& broker, std::vector<std::string> extra)
{
    std::vector<std::string> args{"-h", "127.0.0.1", "-p",   std::to_string(broker.Port),
                                  "-u", User,        "-P",   Password,
                                  "-v", "-t",        "probe"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto sub = std::make_unique<ChildProcess>(RV_MOSQUITTO_SUB_EXE, args);
    for (int i = 0; i < 50 && sub->Out.find("probe x") == std::string::npos; ++i) {
        ChildProcess pub(RV_MOSQUITTO_PUB_EXE,
                         {"-h", "127.0.0.1", "-p", std::to_string(broker.Port), "-u", User, "-P",
                          Password, "-t", "probe", "-m", "x"});
        pub.Wait(5s);
        sub->WaitForErr("never", 100ms);
    }
    return sub;
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Collects a child's output until `text` has shown up `times` times on its standard output.
bool WaitForOut(ChildProcess& child, const std::string& text, int times,
                std::chrono::milliseconds limit)
{
    const auto end = ChildProcess::Clock::now() + limit;
    while (Count(child.Out, text) < times && ChildProcess::Clock::now() < end)
        child.WaitForErr("\x01", 50ms);
    return Count(child.Out, text) >= times;
}

TEST(FleetEndToEnd, PublishesAndServesWithoutStallingAndDiesOffline)
{
    TempDir dir;
    Broker broker(dir.Path, User, Password);
    ASSERT_TRUE(broker.Ready) << broker.Log();
    ChildProcess sim(SimExe, {"--rate", "200"});
    const std::string port = Sim(sim);
    ASSERT_FALSE(port.empty()) << sim.Err;
    auto sub = Subscribe(broker, {"-t", "t1/#", "-t", "homeassistant/+/rangeview_t1/#"});

    const int metricsPort = FreePort();
    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--mqtt",
                                  Url(broker, "t1"), "--mqtt-auth", AuthFile(dir.Path, Password),
                                  "--mqtt-readings", "--mqtt-every", "0.25", "--metrics",
                                  "127.0.0.1:" + std::to_string(metricsPort)});
    ASSERT_TRUE(WaitForOut(*sub, "t1/state ", 2, 5s)) << sub->Out << monitor.Err;

    // Clients that connect and say nothing, or nonsense, while the readings go on.
    std::vector<int> idle;
    for (int i = 0; i < 5; ++i)
        idle.push_back(rv::test::ConnectTo(metricsPort));
    for (int i = 0; i < 1; ++i) {
        const int s = rv::test::ConnectTo(metricsPort);
        const char garbage[] = "\x16\x03\x01 NOT HTTP\r\n\r\n\xff\xfe";
        EXPECT_GT(::send(s, garbage, sizeof garbage, MSG_NOSIGNAL), 0);
        idle.push_back(s);
    }
    monitor.WaitForLines(1, 2s);
    const std::size_t before = ParseMonitorLines(monitor.Out).size();
    // 200 readings a second: a stalled loop would fall far behind.
    EXPECT_TRUE(monitor.WaitForLines(before + 250, 2s)) << monitor.Err;

    httplib::Client client("127.0.0.1", metricsPort);
    client.set_read_timeout(10, 0);
    const auto scrape = client.Get("/metrics");
    ASSERT_TRUE(scrape) << "no answer to a scrape";
    EXPECT_EQ(scrape->status, 200);
    EXPECT_EQ(scrape->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(scrape->body.find("# TYPE rangeview_readings_total counter\n"), std::string::npos);
    EXPECT_NE(scrape->body.find("\nrangeview_link_up 1\n"), std::string::npos) << scrape->body;
    EXPECT_NE(scrape->body.find("\nrangeview_mqtt_connected 1\n"), std::string::npos);
    EXPECT_NE(scrape->body.find("rangeview_info{port=\"" + port + "\",version=\""),
              std::string::npos);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(scrape->body, m, std::regex("\nrangeview_readings_total (\\d+)\n")));
    EXPECT_GT(std::stoul(m[1]), before);
    for (const int s : idle)
        ::close(s);

    monitor.Signal(SIGKILL);
    EXPECT_TRUE(WaitForOut(*sub, "t1/availability offline", 1, 5s)) << sub->Out;
    monitor.Wait(1s);

    const std::string& out = sub->Out;
    EXPECT_NE(out.find("t1/availability online"), std::string::npos);
    EXPECT_NE(out.find("homeassistant/sensor/rangeview_t1/distance/config {\"name\":\"Distance\""),
              std::string::npos)
        << out.substr(0, 2000);
    EXPECT_NE(out.find("\"unit_of_measurement\":\"mm\",\"device_class\":\"distance\""),
              std::string::npos);
    EXPECT_NE(out.find("homeassistant/binary_sensor/rangeview_t1/link/config "), std::string::npos);
    EXPECT_NE(out.find("t1/state {\"seq\":1,"), std::string::npos);
    EXPECT_TRUE(std::regex_search(
        out, std::regex("t1/state \\{\"seq\":2,\"time\":\"20[0-9-]{8}T[0-9:.]{12}Z\","
                        "\"period_s\":0\\.2[0-9]*,\"link\":\"up\",\"distance_mm\":[0-9]+,"
                        "\"mode\":3,\"mode_name\":\"一般模式\",\"readings\":[0-9]+,")))
        << out.substr(0, 4000);
    EXPECT_TRUE(std::regex_search(out, std::regex("t1/reading \\{\"elapsed_ms\":[0-9]+,"
                                                  "\"distance_mm\":[0-9]+,\"mode\":3\\}")));
}

TEST(FleetEndToEnd, BrokerRestartLosesNoQueuedStateAndNoRow)
{
    TempDir dir;
    Broker broker(dir.Path, User, Password);
    ASSERT_TRUE(broker.Ready) << broker.Log();
    ChildProcess sim(SimExe, {"--rate", "200"});
    const std::string port = Sim(sim);
    ASSERT_FALSE(port.empty()) << sim.Err;
    // A durable subscriber: the broker keeps its queue across the restart.
    auto sub =
        Subscribe(broker, {"-c", "-i", "rangeview-test-durable", "-q", "1", "-t", "t2/state"});

    const std::string csv = dir.Path + "/t2.csv";
    ChildProcess monitor(CliExe, {"monitor", "--port", port, "--baud", "115200", "--mqtt",
                                  Url(broker, "t2"), "--mqtt-auth", AuthFile(dir.Path, Password),
                                  "--mqtt-every", "0.25", "--csv", csv, "--stats"});
    ASSERT_TRUE(WaitForOut(*sub, "t2/state ", 2, 5s)) << sub->Out << monitor.Err;
    broker.Stop();
    std::this_thread::sleep_for(2s);
    broker.Start();
    ASSERT_TRUE(broker.Ready) << broker.Log();
    EXPECT_TRUE(monitor.WaitForErr("is back after", 10s)) << monitor.Err;
    const int seen = Count(sub->Out, "t2/state ");
    EXPECT_TRUE(WaitForOut(*sub, "t2/state ", seen + 3, 5s)) << sub->Out;
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(5s), 0) << monitor.Err;

    EXPECT_NE(monitor.Err.find("mqtt: lost the broker at 127.0.0.1:" + std::to_string(broker.Port)),
              std::string::npos)
        << monitor.Err;
    EXPECT_NE(monitor.Err.find("; 0 messages dropped meanwhile\n"), std::string::npos)
        << monitor.Err;
    // Every period's state came through (a few twice: at least once is the promise).
    std::set<int> sequence;
    const std::regex seq("t2/state \\{\"seq\":([0-9]+),");
    for (std::sregex_iterator it(sub->Out.begin(), sub->Out.end(), seq), end; it != end; ++it)
        sequence.insert(std::stoi((*it)[1]));
    ASSERT_FALSE(sequence.empty());
    EXPECT_EQ(*sequence.begin(), 1);
    EXPECT_EQ(static_cast<int>(sequence.size()), *sequence.rbegin()) << sub->Out;
    // And every reading is in the table.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(monitor.Err, m, std::regex("stats: readings=([0-9]+) ")));
    const std::size_t readings = std::stoul(m[1]);
    EXPECT_GT(readings, 400u);
    EXPECT_EQ(ParseMonitorLines(monitor.Out).size(), readings);
    std::ifstream table(csv);
    std::size_t rows = 0;
    for (std::string line; std::getline(table, line);)
        ++rows;
    EXPECT_EQ(rows, readings + 1); // and the header
}

TEST(FleetEndToEnd, StartUpFailuresSayWhyInOneLine)
{
    TempDir dir;
    ASSERT_TRUE(rv::test::MakeCertificates(
        dir.Path, {{"right", "IP:127.0.0.1,DNS:localhost"}, {"wrong", "DNS:elsewhere.invalid"}}));
    const int right = FreePort();
    const int wrong = FreePort();
    Broker broker(dir.Path, User, Password,
                  {{right, dir.Path + "/right"}, {wrong, dir.Path + "/wrong"}});
    ASSERT_TRUE(broker.Ready) << broker.Log();
    ChildProcess sim(SimExe, {"--rate", "100"});
    const std::string port = Sim(sim);
    ASSERT_FALSE(port.empty()) << sim.Err;
    const std::string auth = AuthFile(dir.Path, Password);
    const std::string ca = dir.Path + "/ca.crt";
    const auto tls = [](int p) { return "mqtts://127.0.0.1:" + std::to_string(p) + "/t3"; };

    struct Case {
        std::vector<std::string> Args;
        std::string Why;
    };
    const std::vector<Case> cases{
        {{"--mqtt", Url(broker, "t3"), "--mqtt-auth", AuthFile(dir.Path, "wrong")},
         "the broker refused us: not authorised; check the user and password in --mqtt-auth"},
        {{"--mqtt", "mqtt://127.0.0.1:" + std::to_string(FreePort()) + "/t3"},
         ": Connection refused"},
        {{"--mqtt", tls(wrong), "--mqtt-ca", ca, "--mqtt-auth", auth},
         "TLS failed: host name verification failed"},
        {{"--mqtt", tls(right), "--mqtt-auth", auth}, "TLS failed: certificate verify failed"},
        {{"--metrics", "127.0.0.1:" + std::to_string(broker.Port)},
         "cannot listen there (Address already in use)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"monitor", "--port", port, "--count", "1"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        ChildProcess monitor(CliExe, args);
        EXPECT_EQ(monitor.Wait(15s), 3) << c.Why << ": " << monitor.Err;
        EXPECT_TRUE(monitor.Err.starts_with("rangeview-cli: monitor: ")) << monitor.Err;
        EXPECT_NE(monitor.Err.find(c.Why), std::string::npos) << monitor.Err;
        EXPECT_EQ(Count(monitor.Err, "\n"), 1) << monitor.Err;
        EXPECT_EQ(monitor.Out, "");
    }
    // The right certificate, by address and by name.
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        ChildProcess monitor(CliExe, {"monitor", "--port", port, "--count", "3", "--mqtt",
                                      "mqtts://" + host + ":" + std::to_string(right) + "/t3",
                                      "--mqtt-ca", ca, "--mqtt-auth", auth});
        EXPECT_EQ(monitor.Wait(10s), 0) << monitor.Err;
        EXPECT_EQ(monitor.Err, "");
        EXPECT_EQ(ParseMonitorLines(monitor.Out).size(), 3u);
    }
}

// Prometheus' value of `query` per scraped monitor port.
std::map<int, long> Query(int prometheus, const std::string& query)
{
    httplib::Client client("127.0.0.1", prometheus);
    const auto answer = client.Get("/api/v1/query", {{"query", query}}, httplib::Headers{});
    std::map<int, long> values;
    if (!answer || answer->status != 200)
        return values;
    const std::regex sample("\"instance\":\"127\\.0\\.0\\.1:([0-9]+)\"[^\\]]*\"value\":\\[[0-9.]+,"
                            "\"([0-9]+)\"\\]");
    for (std::sregex_iterator it(answer->body.begin(), answer->body.end(), sample), end; it != end;
         ++it)
        values[std::stoi((*it)[1])] = std::stol((*it)[2]);
    return values;
}

TEST(FleetEndToEnd, PrometheusSeesEachMonitorsCount)
{
    TempDir dir;
    std::vector<std::unique_ptr<ChildProcess>> sims;
    std::vector<std::unique_ptr<ChildProcess>> monitors;
    std::vector<int> ports;
    std::string targets;
    for (int i = 0; i < 2; ++i) {
        sims.push_back(
            std::make_unique<ChildProcess>(SimExe, std::vector<std::string>{"--rate", "200"}));
        const std::string port = Sim(*sims.back());
        ASSERT_FALSE(port.empty()) << sims.back()->Err;
        ports.push_back(FreePort());
        monitors.push_back(std::make_unique<ChildProcess>(
            CliExe,
            std::vector<std::string>{"monitor", "--port", port, "--baud", "115200", "--reconnect",
                                     "--stats", "--metrics", std::to_string(ports.back())}));
        targets +=
            (i > 0 ? ", " : "") + std::string("'127.0.0.1:") + std::to_string(ports.back()) + "'";
    }
    rv::test::WriteText(dir.Path + "/prometheus.yml",
                        "global:\n  scrape_interval: 250ms\n  scrape_timeout: 200ms\n"
                        "scrape_configs:\n  - job_name: rangeview\n    static_configs:\n"
                        "      - targets: [" +
                            targets + "]\n");
    const int prometheusPort = FreePort();
    ChildProcess prometheus(RV_PROMETHEUS_EXE,
                            {"--config.file=" + dir.Path + "/prometheus.yml",
                             "--storage.tsdb.path=" + dir.Path + "/data",
                             "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort),
                             "--log.level=error"});
    const auto end = ChildProcess::Clock::now() + 20s;
    while (Query(prometheusPort, "rangeview_readings_total > 0").size() < 2 &&
           ChildProcess::Clock::now() < end)
        std::this_thread::sleep_for(100ms);
    ASSERT_EQ(Query(prometheusPort, "rangeview_readings_total > 0").size(), 2u) << prometheus.Err;

    // The sensors stop; the monitors stay, with the link down, and a few scrapes pass.
    for (auto& sim : sims)
        sim->Signal(SIGTERM);
    for (auto& monitor : monitors)
        EXPECT_TRUE(monitor->WaitForErr("port lost", 5s)) << monitor->Err;
    // A scrape that finds the link down comes after the last reading; on a loaded machine the
    // next scrape may be seconds away.
    const auto down = ChildProcess::Clock::now() + 20s;
    while (Query(prometheusPort, "rangeview_link_up == 0").size() < 2 &&
           ChildProcess::Clock::now() < down)
        std::this_thread::sleep_for(100ms);
    const auto counts = Query(prometheusPort, "rangeview_readings_total");
    const auto linkUp = Query(prometheusPort, "rangeview_link_up");
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        monitors[i]->Signal(SIGTERM);
        EXPECT_EQ(monitors[i]->Wait(5s), 0) << monitors[i]->Err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(monitors[i]->Err, m, std::regex("stats: readings=([0-9]+) ")))
            << monitors[i]->Err;
        ASSERT_EQ(counts.count(ports[i]), 1u);
        EXPECT_EQ(counts.at(ports[i]), std::stol(m[1]));
        EXPECT_EQ(linkUp.at(ports[i]), 0);
    }
}

} // namespace
