#include "dbupdate/FbClient.h"

#include "platform/SharedLibrary.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace dbupdate {

namespace {

using platform::SharedLibrary;

template <typename Function>
void Resolve(const SharedLibrary& library, const char* name, Function& target)
{
    if (!library.Find(name, target))
        throw std::runtime_error(std::string("The Firebird client library has no entry point ") + name);
}

struct LoadedClient {
    std::unique_ptr<SharedLibrary> library;
    FbApi api {};
};

bool WrongBitness(const platform::LibraryLoadError& error)
{
    return error.libraryBits != 0 && error.libraryBits != platform::ProgramBits();
}

// The message for a client library that could not be loaded. One of the
// other bitness (a 32-bit installation's library and a 64-bit updater, or
// the reverse) says which updater the installation needs: the system's own
// text ("is not a valid Win32 application") does not.
std::string LoadFailureMessage(const platform::LibraryLoadError& error)
{
    if (WrongBitness(error)) {
        const std::string theirs = std::to_string(error.libraryBits);
        return "Cannot load the Firebird client library " + error.path + ": the library is " + theirs +
               "-bit and this updater is " + std::to_string(platform::ProgramBits()) + "-bit. Use the " + theirs +
               "-bit updater with this client library";
    }
    return "Cannot load the Firebird client library " + error.path + ": " + error.text;
}

LoadedClient Load()
{
    platform::LibraryLoadError error;
    SharedLibrary library = SharedLibrary::Load(FbClientLibraryName(), error);
    if (!library.IsLoaded() && !std::getenv("UPDATER_FBCLIENT")) {
        // The client library's other name on this system. The first name's
        // reason is the one reported, unless only the other one was found
        // and it is of the other bitness.
        platform::LibraryLoadError fallbackError;
        library = SharedLibrary::Load(kFallbackFbClientLibrary, fallbackError);
        if (!library.IsLoaded() && WrongBitness(fallbackError) && !WrongBitness(error))
            error = fallbackError;
    }
    if (!library.IsLoaded())
        throw std::runtime_error(LoadFailureMessage(error));
    LoadedClient client;
    client.library = std::make_unique<SharedLibrary>(std::move(library));
    const SharedLibrary& lib = *client.library;
    FbApi& api = client.api;
    Resolve(lib, "isc_attach_database", api.attach_database);
    Resolve(lib, "isc_detach_database", api.detach_database);
    Resolve(lib, "isc_database_info", api.database_info);
    Resolve(lib, "isc_start_multiple", api.start_multiple);
    Resolve(lib, "isc_commit_transaction", api.commit_transaction);
    Resolve(lib, "isc_rollback_transaction", api.rollback_transaction);
    Resolve(lib, "isc_dsql_allocate_statement", api.dsql_allocate_statement);
    Resolve(lib, "isc_dsql_prepare", api.dsql_prepare);
    Resolve(lib, "isc_dsql_describe", api.dsql_describe);
    Resolve(lib, "isc_dsql_describe_bind", api.dsql_describe_bind);
    Resolve(lib, "isc_dsql_execute", api.dsql_execute);
    Resolve(lib, "isc_dsql_execute2", api.dsql_execute2);
    Resolve(lib, "isc_dsql_fetch", api.dsql_fetch);
    Resolve(lib, "isc_dsql_free_statement", api.dsql_free_statement);
    Resolve(lib, "isc_dsql_sql_info", api.dsql_sql_info);
    Resolve(lib, "isc_dsql_execute_immediate", api.dsql_execute_immediate);
    Resolve(lib, "isc_create_blob2", api.create_blob2);
    Resolve(lib, "isc_put_segment", api.put_segment);
    Resolve(lib, "isc_close_blob", api.close_blob);
    Resolve(lib, "isc_cancel_blob", api.cancel_blob);
    Resolve(lib, "fb_interpret", api.interpret);
    Resolve(lib, "isc_sqlcode", api.sqlcode);
    Resolve(lib, "isc_vax_integer", api.vax_integer);
    return client;
}

}  // namespace

std::optional<long> FirstInfoValue(const FbApi& api, const char* buffer, char item)
{
    if (buffer[0] != item)
        return std::nullopt;
    const short length = static_cast<short>(api.vax_integer(buffer + 1, 2));
    return api.vax_integer(buffer + 3, length);
}

std::string FbClientLibraryName()
{
    const char* overridden = std::getenv("UPDATER_FBCLIENT");
    return overridden && *overridden ? overridden : kFbClientLibrary;
}

namespace {

const LoadedClient& Loaded()
{
    // The library stays loaded for the life of the process: the engine it
    // carries keeps threads and exit handlers of its own. A failed load is
    // tried again by the next call.
    static std::mutex guard;
    static LoadedClient* client = nullptr;
    std::lock_guard<std::mutex> lock(guard);
    if (!client)
        client = new LoadedClient(Load());
    return *client;
}

}  // namespace

const FbApi& LoadFbClient() { return Loaded().api; }

const SharedLibrary& FbClientLibrary() { return *Loaded().library; }

const FbServiceApi& LoadFbServices()
{
    static std::mutex guard;
    static std::optional<FbServiceApi> services;
    std::lock_guard<std::mutex> lock(guard);
    if (!services) {
        const SharedLibrary& lib = FbClientLibrary();
        FbServiceApi api {};
        Resolve(lib, "isc_service_attach", api.service_attach);
        Resolve(lib, "isc_service_detach", api.service_detach);
        Resolve(lib, "isc_service_start", api.service_start);
        Resolve(lib, "isc_service_query", api.service_query);
        Resolve(lib, "isc_drop_database", api.drop_database);
        services = api;
    }
    return *services;
}

}  // namespace dbupdate
