#pragma once
// A TCP relay on a free loopback port that forwards every connection to a
// target, until the test cuts it: a network that goes away under a client.

#include <atomic>
#include <string>
#include <thread>

namespace testsupport {

class TcpRelay {
public:
    // Relays to host:port (an IPv4 address).
    TcpRelay(const std::string& host, int port);
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;
    ~TcpRelay();

    int Port() const { return port_; }
    // Closes every relayed connection and the listening socket; returns once
    // they are closed.
    void Cut();

private:
    void Run();

    std::string host_;
    int targetPort_;
    int listen_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace testsupport
