#include "dbupdate/ServiceManager.h"

#include "dbupdate/DatabaseError.h"
#include "dbupdate/ParameterBlock.h"
#include "dbupdate/ServiceReport.h"
#include "dbupdate/Uglobdb.h"
#include "platform/File.h"

#include <algorithm>
#include <exception>
#include <ibase.h>
#include <stdexcept>

namespace dbupdate {

namespace {

constexpr const char* kServiceManager = "service_mgr";

}  // namespace

ServiceManager::ServiceManager(const std::string& server)
    : api_(LoadFbClient()), services_(LoadFbServices())
{
    const std::string name = BuildConnectionString(server, kServiceManager);
    // The account items are a database's (isc_spb_user_name is
    // isc_dpb_user_name), after the service block's version.
    const std::string block = std::string {static_cast<char>(isc_spb_version),
                                           static_cast<char>(isc_spb_current_version)} +
                              AccountItems(kDefaultUser, kDefaultPassword);
    ISC_STATUS_ARRAY status {};
    services_.service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(), &handle_,
                             static_cast<unsigned short>(block.size()), block.data());
    Check(api_, status, "Service::Attach");
}

ServiceManager::~ServiceManager()
{
    ISC_STATUS_ARRAY status {};
    if (handle_)
        services_.service_detach(status, &handle_);
}

std::string ServiceManager::Run(const std::string& request, const char* operation, const ServiceProgress& progress,
                                const char* finalLine)
{
    Start(request, operation);
    const std::string send = TimeoutItem();
    const char items[] = {isc_info_svc_line};
    ServiceReport report(finalLine);
    std::vector<char> buffer(16 * 1024);
    for (bool more = true; more;) {
        Query(send, items, sizeof items, buffer, operation);
        bool lines = false;
        std::uint32_t requested = 0;
        more = ReadServiceAnswer(buffer, operation, requested, [&](const char* data, std::size_t length) {
            const std::string line(data, length);
            lines = true;
            report.Take(line);
            if (progress)
                progress(line);
        });
        if (!lines && more && progress)
            progress({});
    }
    return report.Completed(operation);
}

std::uint64_t ServiceManager::Receive(const std::string& request, platform::File& file, const std::string& fileName,
                                      const CopyProgress& progress)
{
    const char* operation = "Service::Backup";
    Start(request, operation);
    const std::string send = TimeoutItem();
    const char items[] = {isc_info_svc_to_eof};
    std::vector<char> buffer(kStreamBuffer);
    std::uint64_t total = 0;
    for (bool more = true; more;) {
        Query(send, items, sizeof items, buffer, operation);
        std::uint32_t requested = 0;
        more = ReadServiceAnswer(buffer, operation, requested, [&](const char* data, std::size_t length) {
            if (const platform::Error error = file.Write(data, length))
                throw std::runtime_error(fileName + ": " + error.Message());
            total += length;
        });
        if (progress)
            progress(total);
    }
    return total;
}

void ServiceManager::Send(const std::string& request, platform::File& file, const std::string& fileName,
                          const CopyProgress& progress)
{
    const char* operation = "Service::Restore";
    Start(request, operation);
    const std::string timeout = TimeoutItem();
    const char items[] = {isc_info_svc_stdin, isc_info_svc_line};
    std::vector<char> buffer(kStreamBuffer);
    std::vector<char> data;
    std::uint64_t total = 0;
    std::uint32_t requested = 0;
    ServiceReport report;
    std::exception_ptr stopped;
    for (bool more = true; more;) {
        std::string send = timeout;
        if (requested > 0) {
            // The send block's own length is 16 bits.
            data.resize(std::min<std::size_t>(requested, 0xFFFF - 1 - 2 - send.size()));
            std::size_t got = 0;
            if (!stopped) {
                if (const platform::Error error = file.Read(data.data(), data.size(), got))
                    throw std::runtime_error(fileName + ": " + error.Message());
            }
            // The engine takes the data as it takes a line of input.
            AddString(send, isc_info_svc_line, std::string(data.data(), got));
            total += got;
        }
        Query(send, items, sizeof items, buffer, operation);
        more = ReadServiceAnswer(buffer, operation, requested, [&](const char* line, std::size_t length) {
            report.Take(std::string(line, length));
        });
        if (progress && !stopped) {
            try {
                progress(total);
            } catch (...) {
                stopped = std::current_exception();
            }
        }
    }
    if (stopped)
        std::rethrow_exception(stopped);
    report.Completed(operation);
}

void ServiceManager::Start(const std::string& request, const char* operation)
{
    ISC_STATUS_ARRAY status {};
    services_.service_start(status, &handle_, nullptr, static_cast<unsigned short>(request.size()),
                            request.data());
    Check(api_, status, operation);
}

void ServiceManager::Query(const std::string& send, const char* items, std::size_t itemCount, std::vector<char>& buffer,
                           const char* operation)
{
    ISC_STATUS_ARRAY status {};
    services_.service_query(status, &handle_, nullptr, static_cast<unsigned short>(send.size()), send.data(),
                            static_cast<unsigned short>(itemCount), items,
                            static_cast<unsigned short>(buffer.size()), buffer.data());
    Check(api_, status, operation);
}

std::string ServiceManager::TimeoutItem()
{
    std::string send;
    AddSizedNumber(send, isc_info_svc_timeout, 1);
    return send;
}

std::string ServiceRequest(char action, std::initializer_list<std::pair<char, std::string>> strings,
                           std::uint32_t options, bool verbose)
{
    std::string request(1, action);
    for (const auto& [tag, value] : strings)
        AddString(request, tag, value);
    if (verbose)
        request += static_cast<char>(isc_spb_verbose);
    if (options)
        AddNumber(request, isc_spb_options, options);
    return request;
}

}  // namespace dbupdate
