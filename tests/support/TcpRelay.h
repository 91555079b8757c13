#pragma once
// A TCP relay on a free loopback port that forwards every connection to a
// target, until the test cuts it: a network that goes away under a client,
// or a slow one whose round trips are counted.

#include <atomic>
#include <chrono>
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
    // Delays every forwarded piece by the given time, in each direction, as
    // a network of that latency would. Set before connecting.
    void SetLatency(std::chrono::microseconds latency) { latency_ = latency; }
    // Round trips so far: the times a client sent after its server had
    // answered (or for the first time), over all connections.
    long RoundTrips() const noexcept { return roundTrips_; }
    // Pieces the clients sent, as the relay read them.
    long ClientPackets() const noexcept { return clientPackets_; }
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
    std::chrono::microseconds latency_ {0};
    std::atomic<long> roundTrips_ {0};
    std::atomic<long> clientPackets_ {0};
    std::thread thread_;
};

}  // namespace testsupport
