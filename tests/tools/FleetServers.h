// Mosquitto and Prometheus from the system, each started by a test on a free loopback port in a
// folder of its own and ended with it.

#pragma once

#include "support/ChildProcess.h"
#include "support/LoopbackPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace rv::test {

inline bool WaitForListener(int port, std::chrono::milliseconds limit)
{
    const auto end = ChildProcess::Clock::now() + limit;
    while (ChildProcess::Clock::now() < end) {
        if (const int s = ConnectTo(port); s >= 0) {
            ::close(s);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Runs a command line through the shell; true when it exits 0.
inline bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A Mosquitto with its own configuration: one plain listener with a password file, and the
// TLS listeners asked for. Persistent, so that a restart keeps a durable subscriber's queue.
class Broker {
public:
    struct TlsListener {
        int Port;
        std::string Cert; // certificate and key (.crt, .key) without the suffix
    };

    Broker(const std::string& folder, const std::string& user, const std::string& password,
           std::vector<TlsListener> tls = {})
        : Folder_(folder), Port(FreePort())
    {
        const std::string passwords = folder + "/passwords";
        WriteText(passwords, "");
        Shell(std::string(RV_MOSQUITTO_PASSWD_EXE) + " -b " + passwords + " " + user + " " +
              password);
        std::string config = "user root\n"
                             "per_listener_settings false\n"
                             "allow_anonymous false\n"
                             "password_file " +
                             passwords +
                             "\n"
                             "persistence true\n"
                             "persistence_location " +
                             folder +
                             "/\n"
                             "autosave_interval 1\n"
                             "listener " +
                             std::to_string(Port) + " 127.0.0.1\n";
        for (const auto& listener : tls)
            config += "listener " + std::to_string(listener.Port) + " 127.0.0.1\ncafile " + folder +
                      "/ca.crt\ncertfile " + listener.Cert + ".crt\nkeyfile " + listener.Cert +
                      ".key\n";
        WriteText(folder + "/mosquitto.conf", config);
        Start();
    }

    void Start()
    {
        Process_ = std::make_unique<ChildProcess>(
            RV_MOSQUITTO_EXE, std::vector<std::string>{"-c", Folder_ + "/mosquitto.conf"});
        Ready = WaitForListener(Port, std::chrono::seconds(5));
    }
    // Ends it as a service manager would; the durable sessions are saved.
    void Stop()
    {
        Process_->Signal(SIGTERM);
        Process_->Wait(std::chrono::seconds(5));
    }

    std::string Log() const { return Process_ ? Process_->Err : ""; }

    const std::string Folder_;
    const int Port;
    bool Ready = false;

private:
    std::unique_ptr<ChildProcess> Process_;
};

// A certificate authority and broker certificates for the names asked for, made with openssl.
inline bool MakeCertificates(const std::string& folder,
                             const std::vector<std::pair<std::string, std::string>>& brokers)
{
    const std::string openssl = RV_OPENSSL_EXE;
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    bool ok = Shell(openssl + " req -x509" + key + " -keyout " + folder + "/ca.key -out " + folder +
                    "/ca.crt -days 2 -subj /CN=rangeview-test-ca");
    for (const auto& [name, altNames] : brokers) {
        const std::string base = folder + "/" + name;
        WriteText(base + ".ext", "subjectAltName=" + altNames + "\n");
        ok = ok &&
             Shell(openssl + " req" + key + " -keyout " + base + ".key -out " + base +
                   ".csr -subj /CN=rangeview-test-broker") &&
             Shell(openssl + " x509 -req -in " + base + ".csr -CA " + folder + "/ca.crt -CAkey " +
                   folder + "/ca.key -CAcreateserial -days 2 -out " + base + ".crt -extfile " +
                   base + ".ext");
    }
    return ok;
}

} // namespace rv::test
