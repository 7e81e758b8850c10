#pragma once

#include <functional>
#include <memory>
#include <string>

#include "rangeview/serial/SerialPlatform.h"

namespace rv {

// The reader thread of every backend: std::thread, joinable with a time limit. createCall names
// the system call reported when no thread can be started ("pthread_create", "CreateThread").
std::unique_ptr<PlatformThread> StartStdThread(std::function<void()> body, const char* createCall);

} // namespace rv
