#pragma once

#include <optional>
#include <string>

// What the fleet's parts need of the system, one file per system under fleet/.
namespace rv {

// Why a file of secrets is exposed to other users (its permission bits), or nullopt.
std::optional<std::string> ExposedSecretFile(const std::string& path);

// Makes a listening socket refuse a port another socket already listens on, instead of
// sharing (Linux' SO_REUSEPORT) or taking it over (Windows' SO_REUSEADDR).
void MakeListenerExclusive(long long socket);

} // namespace rv
