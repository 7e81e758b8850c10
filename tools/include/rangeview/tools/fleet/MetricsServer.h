#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "rangeview/tools/fleet/FleetOptions.h"

namespace rv {

// Serves GET /metrics over HTTP on threads of its own, with what Render() returns. A client
// that connects and says nothing, or talks nonsense, holds one of a few worker threads for two
// seconds at most and never reaches the monitor's loop.
class MetricsServer {
public:
    using Render = std::function<std::string()>;

    explicit MetricsServer(Render render);
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Binds the address and starts serving; the reason when the address cannot be had.
    std::optional<std::string> Start(const ListenAddress& address);
    void Stop();

private:
    struct Server;
    std::unique_ptr<Server> Server_;
    std::thread Thread_;
};

} // namespace rv
