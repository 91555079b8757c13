#pragma once
// The conversation with the engine's service manager (the embedded engine's,
// or a server's): a request started, its answers queried until the end, and
// a backup's bytes received or sent as the engine asks for them.

#include "dbupdate/FbClient.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class File;
}

namespace dbupdate {

// Each line of the engine's verbose report while it works.
using ServiceProgress = std::function<void(const std::string& line)>;
// The bytes of a backup copied so far; called at least every second.
using CopyProgress = std::function<void(std::uint64_t bytes)>;

// An attachment to a service manager, detached when it ends.
class ServiceManager {
public:
    explicit ServiceManager(const std::string& server);
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;
    ~ServiceManager();

    // Starts the action of request and follows its report to the end; gives
    // the report's closing line (finalLine is the text it holds). The
    // embedded engine runs the action on a thread of this process, which
    // ends with the attachment: the report is read to its end.
    std::string Run(const std::string& request, const char* operation, const ServiceProgress& progress,
                    const char* finalLine);

    // Starts a backup whose file is "stdout" and writes what the engine
    // sends to file; gives the number of bytes. Without a verbose report the
    // engine's failure arrives as the status of a query. What progress
    // throws stops the backup (the database is only read).
    std::uint64_t Receive(const std::string& request, platform::File& file, const std::string& fileName,
                          const CopyProgress& progress);

    // Starts a restore whose file is "stdin" and sends file to the engine
    // whenever it asks for data, no more than it asks for; an empty answer
    // tells it the file has ended. A backup that ends early fails the
    // restore with the engine's message. What progress throws stops the
    // restore as an early end would (the engine is not left in the middle
    // of it), and is thrown once the engine has finished.
    void Send(const std::string& request, platform::File& file, const std::string& fileName,
              const CopyProgress& progress);

private:
    // The answers of a copy's queries: large, as each one is a round trip.
    static constexpr std::size_t kStreamBuffer = 60000;

    void Start(const std::string& request, const char* operation);

    void Query(const std::string& send, const char* items, std::size_t itemCount, std::vector<char>& buffer,
               const char* operation);

    // A timeout lets a query come back at least every second, so that the
    // caller's progress (its window, a termination request) is served while
    // the engine works: the tag, a 2-byte length (4) and the seconds.
    static std::string TimeoutItem();

    const FbApi& api_;
    const FbServiceApi& services_;
    isc_svc_handle handle_ = 0;
};


// A request of a service action: the action, its text items, the verbose
// report asked for (verbose) and its options (none when 0).
std::string ServiceRequest(char action, std::initializer_list<std::pair<char, std::string>> strings,
                           std::uint32_t options, bool verbose = true);

}  // namespace dbupdate
