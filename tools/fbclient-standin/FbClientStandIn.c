/*
 * A stand-in fbclient.dll for the tests under wine, never shipped: each
 * entry point of the classic call interface that the updater uses is
 * forwarded to the build machine's Firebird client library, so that the
 * Windows build's own code talks to a real engine (embedded, or a server).
 * Windows paths in connection strings and in CREATE DATABASE statements are
 * mapped to the files they name on the build machine.
 *
 * Built with winegcc: the entry points have the Windows calling convention,
 * the forwarded calls the build machine's.
 */

#include <windows.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef intptr_t ISC_STATUS;
typedef unsigned int Handle;
typedef struct XSQLDA XSQLDA;
typedef struct Quad { int high; unsigned int low; } Quad;

extern char* CDECL wine_get_unix_file_name(const WCHAR* dosPath);

static void* Library(void)
{
    static void* library;
    if (!library)
        library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_GLOBAL);
    return library;
}

static void* Entry(const char* name)
{
    void* library = Library();
    return library ? dlsym(library, name) : NULL;
}

/* The engine opens the database and its lock files without close-on-exec.
   Wine starts processes by forking this one (a console host for every
   console program the updater starts among them), so those descriptors,
   with the engine's exclusive lock on the database, would live on in them
   and lock the next attachment out. The descriptors a call opened are made
   close-on-exec after it: a real client's handles are not inherited. */
typedef struct OpenDescriptors { unsigned char open[4096]; } OpenDescriptors;

static void ListDescriptors(OpenDescriptors* set)
{
    DIR* directory = opendir("/proc/self/fd");
    struct dirent* entry;
    memset(set, 0, sizeof *set);
    if (!directory)
        return;
    while ((entry = readdir(directory))) {
        const int fd = atoi(entry->d_name);
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9' && fd >= 0 && fd < 4096)
            set->open[fd] = 1;
    }
    closedir(directory);
}

static void CloseOnExecNew(const OpenDescriptors* before)
{
    OpenDescriptors after;
    int fd;
    ListDescriptors(&after);
    for (fd = 3; fd < 4096; ++fd) {
        if (after.open[fd] && !before->open[fd]) {
            const int flags = fcntl(fd, F_GETFD);
            if (flags >= 0)
                fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

/* Under wine the embedded engine releases a database's exclusive file lock
   a moment after the last attachment detached; an attachment made at once
   after that fails with an I/O error on the "lock" operation. The tests
   detach and attach again all the time, a real installation does not: an
   attach that meets the error is tried again for up to two seconds. */
static const ISC_STATUS kIoError = 335544344; /* isc_io_error */

/* The I/O error of the "lock" operation (a missing file fails in "open" and
   is not tried again). */
static int IsLockError(const ISC_STATUS* status)
{
    return status[1] == kIoError && status[2] == 2 /* isc_arg_string */ && status[3] &&
           strcmp((const char*)status[3], "lock") == 0;
}

/* A status vector for a call that could not be forwarded:
   isc_unavailable ("unavailable database"). */
static ISC_STATUS Unavailable(ISC_STATUS* status)
{
    status[0] = 1;
    status[1] = 335544375;
    status[2] = 0;
    return status[1];
}

/* The build machine's path of a Windows path ("C:\..."), into out. */
static int UnixPath(const char* windowsPath, size_t length, char* out, size_t size)
{
    WCHAR wide[MAX_PATH * 2];
    char narrow[MAX_PATH * 2];
    char* unixPath;
    if (length >= sizeof narrow)
        return 0;
    memcpy(narrow, windowsPath, length);
    narrow[length] = 0;
    if (!MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, MAX_PATH * 2))
        return 0;
    unixPath = wine_get_unix_file_name(wide);
    if (!unixPath)
        return 0;
    /* Wine names drive C: through "dosdevices/c:", whose colon the client
       library would take for a host's: the directory is resolved to its
       real path (the file itself may not exist yet). */
    {
        char* slash = strrchr(unixPath, '/');
        char directory[PATH_MAX];
        int fits = 0;
        if (slash) {
            *slash = 0;
            if (realpath(unixPath, directory)) {
                const size_t head = strlen(directory);
                const size_t tail = strlen(slash + 1);
                if (head + 1 + tail < size) {
                    memcpy(out, directory, head);
                    out[head] = '/';
                    memcpy(out + head + 1, slash + 1, tail + 1);
                    fits = 1;
                }
            }
        }
        HeapFree(GetProcessHeap(), 0, unixPath);
        return fits;
    }
}

static int IsDrivePath(const char* text, size_t length)
{
    return length >= 3 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
           text[1] == ':' && (text[2] == '\\' || text[2] == '/');
}

/* A connection string: "C:\path", or "host:C:\path" (also "host/port:..."). */
static void MapConnectionString(const char* text, size_t length, char* out, size_t size)
{
    const char* colon = memchr(text, ':', length);
    size_t hostLength = 0;
    char mapped[4096];
    if (colon && !IsDrivePath(text, length))
        hostLength = (size_t)(colon - text) + 1;
    if (IsDrivePath(text + hostLength, length - hostLength) &&
        UnixPath(text + hostLength, length - hostLength, mapped, sizeof mapped) &&
        hostLength + strlen(mapped) < size) {
        memcpy(out, text, hostLength);
        strcpy(out + hostLength, mapped);
        return;
    }
    if (length >= size)
        length = size - 1;
    memcpy(out, text, length);
    out[length] = 0;
}

ISC_STATUS WINAPI standin_attach_database(ISC_STATUS* status, short length, const char* name, Handle* db,
                                          short dpbLength, const char* dpb)
{
    typedef ISC_STATUS (*Function)(ISC_STATUS*, short, const char*, Handle*, short, const char*);
    Function call = (Function)Entry("isc_attach_database");
    char mapped[4096];
    OpenDescriptors before;
    ISC_STATUS result;
    if (!call)
        return Unavailable(status);
    MapConnectionString(name, length ? (size_t)length : strlen(name), mapped, sizeof mapped);
    ListDescriptors(&before);
    result = call(status, (short)strlen(mapped), mapped, db, dpbLength, dpb);
    for (int attempt = 0; result == kIoError && IsLockError(status) && attempt < 40; ++attempt) {
        Sleep(50);
        result = call(status, (short)strlen(mapped), mapped, db, dpbLength, dpb);
    }
    CloseOnExecNew(&before);
    return result;
}

/* CREATE DATABASE 'C:\...' names its file in the statement text. */
ISC_STATUS WINAPI standin_dsql_execute_immediate(ISC_STATUS* status, Handle* db, Handle* tr, unsigned short length,
                                                 const char* sql, unsigned short dialect, const XSQLDA* da)
{
    typedef ISC_STATUS (*Function)(ISC_STATUS*, Handle*, Handle*, unsigned short, const char*, unsigned short,
                                   const XSQLDA*);
    Function call = (Function)Entry("isc_dsql_execute_immediate");
    const size_t size = length ? length : strlen(sql);
    const char* open = memchr(sql, '\'', size);
    const char* close = open ? memchr(open + 1, '\'', size - (size_t)(open + 1 - sql)) : NULL;
    char* rewritten = NULL;
    OpenDescriptors before;
    ISC_STATUS result;
    if (!call)
        return Unavailable(status);
    ListDescriptors(&before);
    if (size > 15 && strncasecmp(sql, "CREATE DATABASE", 15) == 0 && close) {
        char mapped[4096];
        MapConnectionString(open + 1, (size_t)(close - open - 1), mapped, sizeof mapped);
        rewritten = malloc(size + strlen(mapped) + 1);
        if (rewritten) {
            size_t head = (size_t)(open + 1 - sql);
            memcpy(rewritten, sql, head);
            strcpy(rewritten + head, mapped);
            memcpy(rewritten + head + strlen(mapped), close, size - (size_t)(close - sql));
            rewritten[head + strlen(mapped) + size - (size_t)(close - sql)] = 0;
        }
    }
    result = rewritten ? call(status, db, tr, 0, rewritten, dialect, da) : call(status, db, tr, length, sql, dialect, da);
    free(rewritten);
    CloseOnExecNew(&before);
    return result;
}

/* A service request names files as "tag, 2-byte length, path": the database
   (isc_spb_dbname, 106) and the backup file (isc_spb_bkp_file, 5). The
   request's other parameters are a flag (isc_spb_verbose, 107) and 4-byte
   numbers (isc_spb_options, 108); after anything else the rest is copied as
   it is. */
static size_t MapServiceRequest(const char* request, size_t length, char* out, size_t size)
{
    size_t in = 1, written = 1;
    if (length == 0 || length > size)
        return 0;
    out[0] = request[0];
    while (in < length) {
        const unsigned char tag = (unsigned char)request[in];
        if ((tag == 106 || tag == 5) && in + 3 <= length) {
            const size_t pathLength = (unsigned char)request[in + 1] | ((size_t)(unsigned char)request[in + 2] << 8);
            char mapped[4096];
            size_t mappedLength;
            if (in + 3 + pathLength > length)
                break;
            MapConnectionString(request + in + 3, pathLength, mapped, sizeof mapped);
            mappedLength = strlen(mapped);
            if (written + 3 + mappedLength > size)
                return 0;
            out[written] = (char)tag;
            out[written + 1] = (char)(mappedLength & 0xFF);
            out[written + 2] = (char)(mappedLength >> 8);
            memcpy(out + written + 3, mapped, mappedLength);
            written += 3 + mappedLength;
            in += 3 + pathLength;
        } else if (tag == 107) {
            out[written++] = (char)tag;
            ++in;
        } else if (tag == 108 && in + 5 <= length) {
            if (written + 5 > size)
                return 0;
            memcpy(out + written, request + in, 5);
            written += 5;
            in += 5;
        } else {
            break;
        }
    }
    if (written + (length - in) > size)
        return 0;
    memcpy(out + written, request + in, length - in);
    return written + (length - in);
}

ISC_STATUS WINAPI standin_service_start(ISC_STATUS* status, Handle* service, Handle* reserved,
                                        unsigned short length, const char* request)
{
    typedef ISC_STATUS (*Function)(ISC_STATUS*, Handle*, Handle*, unsigned short, const char*);
    Function call = (Function)Entry("isc_service_start");
    char mapped[8192];
    const size_t mappedLength = MapServiceRequest(request, length, mapped, sizeof mapped);
    OpenDescriptors before;
    ISC_STATUS result;
    if (!call)
        return Unavailable(status);
    ListDescriptors(&before);
    result = mappedLength ? call(status, service, reserved, (unsigned short)mappedLength, mapped)
                          : call(status, service, reserved, length, request);
    CloseOnExecNew(&before);
    return result;
}

/* The engine works on a service while its report is read: the files it
   opens meanwhile are made close-on-exec as well. */
ISC_STATUS WINAPI standin_service_query(ISC_STATUS* status, Handle* service, Handle* reserved,
                                        unsigned short sendLength, const char* send, unsigned short requestLength,
                                        const char* request, unsigned short bufferLength, char* buffer)
{
    typedef ISC_STATUS (*Function)(ISC_STATUS*, Handle*, Handle*, unsigned short, const char*, unsigned short,
                                   const char*, unsigned short, char*);
    Function call = (Function)Entry("isc_service_query");
    OpenDescriptors before;
    ISC_STATUS result;
    if (!call)
        return Unavailable(status);
    ListDescriptors(&before);
    result = call(status, service, reserved, sendLength, send, requestLength, request, bufferLength, buffer);
    CloseOnExecNew(&before);
    return result;
}

/* The other entry points pass their arguments through unchanged. */
#define FORWARD(local, name, parameters, arguments)                                  \
    ISC_STATUS WINAPI local parameters                                               \
    {                                                                                \
        typedef ISC_STATUS (*Function) parameters;                                   \
        Function call = (Function)Entry(name);                                       \
        return call ? call arguments : Unavailable(status);                          \
    }

FORWARD(standin_detach_database, "isc_detach_database", (ISC_STATUS* status, Handle* db), (status, db))
FORWARD(standin_database_info, "isc_database_info",
        (ISC_STATUS* status, Handle* db, short itemsLength, const char* items, short bufferLength, char* buffer),
        (status, db, itemsLength, items, bufferLength, buffer))
FORWARD(standin_start_multiple, "isc_start_multiple", (ISC_STATUS* status, Handle* tr, short count, void* blocks),
        (status, tr, count, blocks))
FORWARD(standin_commit_transaction, "isc_commit_transaction", (ISC_STATUS* status, Handle* tr), (status, tr))
FORWARD(standin_rollback_transaction, "isc_rollback_transaction", (ISC_STATUS* status, Handle* tr), (status, tr))
FORWARD(standin_dsql_allocate_statement, "isc_dsql_allocate_statement",
        (ISC_STATUS* status, Handle* db, Handle* stmt), (status, db, stmt))
FORWARD(standin_dsql_prepare, "isc_dsql_prepare",
        (ISC_STATUS* status, Handle* tr, Handle* stmt, unsigned short length, const char* sql, unsigned short dialect,
         XSQLDA* da),
        (status, tr, stmt, length, sql, dialect, da))
FORWARD(standin_dsql_describe, "isc_dsql_describe",
        (ISC_STATUS* status, Handle* stmt, unsigned short version, XSQLDA* da), (status, stmt, version, da))
FORWARD(standin_dsql_describe_bind, "isc_dsql_describe_bind",
        (ISC_STATUS* status, Handle* stmt, unsigned short version, XSQLDA* da), (status, stmt, version, da))
FORWARD(standin_dsql_execute, "isc_dsql_execute",
        (ISC_STATUS* status, Handle* tr, Handle* stmt, unsigned short version, const XSQLDA* da),
        (status, tr, stmt, version, da))
FORWARD(standin_dsql_execute2, "isc_dsql_execute2",
        (ISC_STATUS* status, Handle* tr, Handle* stmt, unsigned short version, const XSQLDA* in, const XSQLDA* out),
        (status, tr, stmt, version, in, out))
FORWARD(standin_dsql_fetch, "isc_dsql_fetch",
        (ISC_STATUS* status, Handle* stmt, unsigned short version, const XSQLDA* da), (status, stmt, version, da))
FORWARD(standin_dsql_free_statement, "isc_dsql_free_statement",
        (ISC_STATUS* status, Handle* stmt, unsigned short option), (status, stmt, option))
FORWARD(standin_dsql_sql_info, "isc_dsql_sql_info",
        (ISC_STATUS* status, Handle* stmt, short itemsLength, const char* items, short bufferLength, char* buffer),
        (status, stmt, itemsLength, items, bufferLength, buffer))
FORWARD(standin_drop_database, "isc_drop_database", (ISC_STATUS* status, Handle* db), (status, db))
FORWARD(standin_service_attach, "isc_service_attach",
        (ISC_STATUS* status, unsigned short length, const char* name, Handle* service, unsigned short spbLength,
         const char* spb),
        (status, length, name, service, spbLength, spb))
FORWARD(standin_service_detach, "isc_service_detach", (ISC_STATUS* status, Handle* service), (status, service))
FORWARD(standin_create_blob2, "isc_create_blob2",
        (ISC_STATUS* status, Handle* db, Handle* tr, Handle* blob, Quad* id, short bpbLength, const char* bpb),
        (status, db, tr, blob, id, bpbLength, bpb))
FORWARD(standin_open_blob2, "isc_open_blob2",
        (ISC_STATUS* status, Handle* db, Handle* tr, Handle* blob, Quad* id, short bpbLength, const char* bpb),
        (status, db, tr, blob, id, bpbLength, bpb))
FORWARD(standin_put_segment, "isc_put_segment",
        (ISC_STATUS* status, Handle* blob, unsigned short length, const char* segment),
        (status, blob, length, segment))
FORWARD(standin_get_segment, "isc_get_segment",
        (ISC_STATUS* status, Handle* blob, unsigned short* got, unsigned short size, char* segment),
        (status, blob, got, size, segment))
FORWARD(standin_close_blob, "isc_close_blob", (ISC_STATUS* status, Handle* blob), (status, blob))
FORWARD(standin_cancel_blob, "isc_cancel_blob", (ISC_STATUS* status, Handle* blob), (status, blob))

int WINAPI standin_interpret(char* buffer, unsigned int size, const ISC_STATUS** vector)
{
    typedef int (*Function)(char*, unsigned int, const ISC_STATUS**);
    Function call = (Function)Entry("fb_interpret");
    return call ? call(buffer, size, vector) : 0;
}

int WINAPI standin_sqlcode(const ISC_STATUS* status)
{
    typedef int (*Function)(const ISC_STATUS*);
    Function call = (Function)Entry("isc_sqlcode");
    return call ? call(status) : -999;
}

int WINAPI standin_vax_integer(const char* bytes, short length)
{
    typedef int (*Function)(const char*, short);
    Function call = (Function)Entry("isc_vax_integer");
    return call ? call(bytes, length) : 0;
}
