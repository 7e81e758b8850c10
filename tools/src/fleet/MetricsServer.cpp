#include "rangeview/tools/fleet/MetricsServer.h"

#include "rangeview/tools/fleet/FleetSystem.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace rv {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t Workers = 4;

} // namespace

struct MetricsServer::Server {
    httplib::Server Http;
};

MetricsServer::MetricsServer(Render render) : Server_(std::make_unique<Server>())
{
    auto& http = Server_->Http;
    http.new_task_queue = [] { return new httplib::ThreadPool(Workers); };
    // A client that sends nothing, or sends slowly, is let go after two seconds.
    http.set_read_timeout(2, 0);
    http.set_write_timeout(2, 0);
    http.set_keep_alive_timeout(2);
    http.set_payload_max_length(4096);
    http.set_socket_options(
        [](socket_t socket) { MakeListenerExclusive(static_cast<long long>(socket)); });
    http.Get("/metrics",
             [render = std::move(render)](const httplib::Request&, httplib::Response& response) {
                 response.set_content(render(), "text/plain; version=0.0.4; charset=utf-8");
             });
    http.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("rangeview-cli monitor: the metrics are at /metrics\n",
                             "text/plain; charset=utf-8");
    });
}

MetricsServer::~MetricsServer()
{
    Stop();
}

std::optional<std::string> MetricsServer::Start(const ListenAddress& address)
{
    errno = 0;
    if (!Server_->Http.bind_to_port(address.Host, address.Port)) {
        const int error = errno;
        const bool v6 = address.Host.find(':') != std::string::npos;
        std::string where =
            (v6 ? "[" + address.Host + "]" : address.Host) + ":" + std::to_string(address.Port);
        return "--metrics " + where + ": cannot listen there (" +
               (error != 0 ? std::string(std::strerror(error))
                           : std::string("the port is taken or the address is not this "
                                         "machine's")) +
               ")";
    }
    Thread_ = std::thread([this] { Server_->Http.listen_after_bind(); });
    // stop() is a no-op until the server runs; wait for that so that Stop() always ends it.
    for (int i = 0; i < 1000 && !Server_->Http.is_running(); ++i)
        std::this_thread::sleep_for(1ms);
    return std::nullopt;
}

void MetricsServer::Stop()
{
    if (!Thread_.joinable())
        return;
    Server_->Http.stop();
    Thread_.join();
}

} // namespace rv
