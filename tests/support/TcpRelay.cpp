#include "TcpRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

TcpRelay::TcpRelay(const std::string& host, int port) : host_(host), targetPort_(port)
{
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 8) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("TcpRelay: cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    Cut();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void TcpRelay::Cut()
{
    if (!thread_.joinable())
        return;
    const char byte = 1;
    (void)!::write(wake_[1], &byte, 1);
    thread_.join();
}

void TcpRelay::Run()
{
    // Relayed connections: the client's and the target's sockets, and who
    // sent last.
    struct Pair {
        int first;
        int second;
        bool clientSentLast = false;
    };
    std::vector<Pair> pairs;
    auto closePair = [](Pair& pair) {
        ::close(pair.first);
        ::close(pair.second);
        pair.first = pair.second = -1;
    };
    for (;;) {
        std::vector<pollfd> fds {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
        for (const auto& pair : pairs) {
            fds.push_back({pair.first, POLLIN, 0});
            fds.push_back({pair.second, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            break;
        const std::size_t polled = pairs.size();
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(targetPort_));
            ::inet_pton(AF_INET, host_.c_str(), &address.sin_addr);
            // Pieces are passed on as they come, as the client and the
            // server (both without Nagle's delay) sent them.
            const int noDelay = 1;
            if (client >= 0 && target >= 0 &&
                ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
                ::setsockopt(target, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
                pairs.push_back({client, target});
            } else {
                ::close(client);
                ::close(target);
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            for (int side = 0; side < 2; ++side) {
                const pollfd& fd = fds[2 + 2 * i + static_cast<std::size_t>(side)];
                if (!fd.revents || pairs[i].first < 0)
                    continue;
                const int to = side == 0 ? pairs[i].second : pairs[i].first;
                char buffer[65536];
                const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
                bool ok = got > 0;
                if (ok && side == 0 && !pairs[i].clientSentLast)
                    ++roundTrips_;
                if (ok && side == 0)
                    ++clientPackets_;
                if (ok)
                    pairs[i].clientSentLast = side == 0;
                if (ok && latency_.count() > 0)
                    std::this_thread::sleep_for(latency_);
                for (ssize_t sent = 0; ok && sent < got;) {
                    const ssize_t n = ::send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
                    ok = n > 0;
                    sent += n;
                }
                if (!ok)
                    closePair(pairs[i]);
            }
        }
        std::erase_if(pairs, [](const Pair& pair) { return pair.first < 0; });
    }
    for (auto& pair : pairs)
        closePair(pair);
    ::close(listen_);
    listen_ = -1;
}

}  // namespace testsupport
