#pragma once
// The Firebird client library, loaded at run time.

#include <ibase.h>
#include <optional>
#include <string>

namespace platform {
class SharedLibrary;
}

namespace dbupdate {

// Entry points of the classic call interface that the updater calls. Only
// these are required: a client library without another one still serves.
struct FbApi {
    decltype(&::isc_attach_database) attach_database;
    decltype(&::isc_detach_database) detach_database;
    decltype(&::isc_database_info) database_info;
    decltype(&::isc_start_multiple) start_multiple;
    decltype(&::isc_commit_transaction) commit_transaction;
    decltype(&::isc_rollback_transaction) rollback_transaction;
    decltype(&::isc_dsql_allocate_statement) dsql_allocate_statement;
    decltype(&::isc_dsql_prepare) dsql_prepare;
    decltype(&::isc_dsql_describe) dsql_describe;
    decltype(&::isc_dsql_describe_bind) dsql_describe_bind;
    decltype(&::isc_dsql_execute) dsql_execute;
    decltype(&::isc_dsql_execute2) dsql_execute2;
    decltype(&::isc_dsql_fetch) dsql_fetch;
    decltype(&::isc_dsql_free_statement) dsql_free_statement;
    decltype(&::isc_dsql_sql_info) dsql_sql_info;
    decltype(&::isc_dsql_execute_immediate) dsql_execute_immediate;
    decltype(&::isc_create_blob2) create_blob2;
    decltype(&::isc_put_segment) put_segment;
    decltype(&::isc_close_blob) close_blob;
    decltype(&::isc_cancel_blob) cancel_blob;
    decltype(&::fb_interpret) interpret;
    decltype(&::isc_sqlcode) sqlcode;
    decltype(&::isc_vax_integer) vax_integer;
};

// Entry points that only the backup and the restore call: the service
// manager and dropping a database. A client library without them still
// updates; the backup then fails with a message naming the one missing.
struct FbServiceApi {
    decltype(&::isc_service_attach) service_attach;
    decltype(&::isc_service_detach) service_detach;
    decltype(&::isc_service_start) service_start;
    decltype(&::isc_service_query) service_query;
    decltype(&::isc_drop_database) drop_database;
};

// The value of an information call's first item (the database's or a
// statement's): the item code, a 2-byte length and the value, little-endian
// as the client reads it. Nothing when the buffer starts with another item.
std::optional<long> FirstInfoValue(const FbApi& api, const char* buffer, char item);

// The client library's usual names on this system: libfbclient.so.2, then
// libfbclient.so; fbclient.dll, then gds32.dll on Windows.
extern const char* const kFbClientLibrary;
extern const char* const kFallbackFbClientLibrary;

// The name of the client library that is loaded: $UPDATER_FBCLIENT when set,
// else kFbClientLibrary, falling back to kFallbackFbClientLibrary.
std::string FbClientLibraryName();

// Loads the client library once per process and returns its entry points.
// Throws std::runtime_error when it or one of its entry points is missing.
const FbApi& LoadFbClient();

// The service entry points of the loaded client library (loading it as
// LoadFbClient does). Throws std::runtime_error when one is missing.
const FbServiceApi& LoadFbServices();

// The loaded client library (loading it as LoadFbClient does), for entry
// points beyond FbApi. Throws std::runtime_error as LoadFbClient.
const platform::SharedLibrary& FbClientLibrary();

}  // namespace dbupdate
