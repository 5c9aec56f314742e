// The simulator of an end-to-end row (see e2e_simulator.h).
#include "tests/support/e2e_simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

// zvsim says it serves within this of its start, even on a loaded machine.
constexpr int kServingWithinMs = 5000;

// A TCP port on loopback that nothing holds now: the test process has a network namespace of
// its own, so nothing but this row's own processes can take it before zvsim does.
unsigned free_port()
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return 0;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    unsigned port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&at), &size) == 0)
        port = ntohs(at.sin_port);
    close(s);
    return port;
}

bool wait_for(ChildProcess& process, const std::string& text, int timeout_ms)
{
    for (int waited = 0; process.output().find(text) == std::string::npos; waited += 10) {
        if (waited >= timeout_ms || process.wait(0) >= 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

bool E2eSimulator::remote()
{
    const char* mode = std::getenv("ZV_E2E_REMOTE");
    return mode != nullptr && std::strcmp(mode, "1") == 0;
}

E2eSimulator::E2eSimulator(const E2ePrograms& programs, std::vector<std::string> environment, Opens opens)
    : programs_(programs), environment_(std::move(environment))
{
    if (!remote()) return;
    port_ = free_port();
    char directory[] = "/tmp/zv-remote-XXXXXX";
    if (port_ == 0 || mkdtemp(directory) == nullptr) {
        problem_ = "no free port or no temporary directory for zvsim";
        return;
    }
    directory_ = directory;
    std::ofstream(directory_ + "/SimConnect.cfg")
        << "[SimConnect.0]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << port_ << "\n";

    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), environment_.begin(), environment_.end());
    argv.insert(argv.end(), {programs_.zvsim, "--port", std::to_string(port_), "-v"});
    zvsim_ = std::make_unique<ChildProcess>(argv, true);
    if (opens == Opens::Now && !wait_for(*zvsim_, "zvsim: serving ", kServingWithinMs))
        problem_ = "zvsim did not say it serves on port " + std::to_string(port_) + ": " + zvsim_->output() +
                   zvsim_->errors();
}

E2eSimulator::~E2eSimulator()
{
    if (zvsim_) zvsim_->stop(SIGTERM, 3000);
    if (!directory_.empty()) {
        unlink((directory_ + "/SimConnect.cfg").c_str());
        rmdir(directory_.c_str());
    }
}

std::vector<std::string> E2eSimulator::program(const std::vector<std::string>& options) const
{
    std::vector<std::string> argv = {"/usr/bin/env"};
    if (remote())
        argv.insert(argv.end(), {"-C", directory_});
    else
        argv.insert(argv.end(), environment_.begin(), environment_.end());
    argv.push_back(programs_.program);
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

void E2eSimulator::signal(ChildProcess& program, int signal)
{
    if (zvsim_)
        zvsim_->signal(signal);
    else
        program.signal(signal);
}

std::string E2eSimulator::connecting_line() const
{
    if (!remote()) return "";
    return "Connecting to Flight Simulator at 127.0.0.1:" + std::to_string(port_) + " (SimConnect.cfg, section 0) ...";
}

std::string E2eSimulator::output(const std::string& expected) const
{
    if (!remote()) return expected;
    auto at = std::min(expected.find("Waiting for Flight Simulator ..."), expected.find("Connected to Flight Simulator!"));
    if (at == std::string::npos) return expected;
    return expected.substr(0, at) + connecting_line() + "\n" + expected.substr(at);
}

std::string E2eSimulator::errors(ChildProcess& program)
{
    std::string errors = zvsim_ ? zvsim_->errors() : "";
    return errors + program.errors();
}

std::string E2eSimulator::log()
{
    if (!zvsim_) return "";
    return "zvsim's output:\n" + zvsim_->output() + zvsim_->errors();
}
