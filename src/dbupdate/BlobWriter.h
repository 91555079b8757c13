#pragma once
// Writing a blob in the connection's transaction, for a blob parameter.

#include <cstddef>
#include <string>

#include <ibase.h>

namespace dbupdate {

class CGlobDB;

// A new blob being written: the one owner of its handle. A blob that is not
// closed is cancelled when its writer goes, so nothing half-written is left.
class BlobWriter {
public:
    // Creates the blob in the connection's open transaction. Throws
    // DatabaseError.
    explicit BlobWriter(CGlobDB& db);
    BlobWriter(const BlobWriter&) = delete;
    BlobWriter& operator=(const BlobWriter&) = delete;
    ~BlobWriter();

    // Appends size bytes. Throws DatabaseError.
    void Write(const char* data, std::size_t size);
    // Closes the blob and gives its id, to be bound to a parameter in the
    // same transaction. Throws DatabaseError.
    ISC_QUAD Close();

private:
    CGlobDB& db_;
    isc_blob_handle blob_ = 0;
    ISC_QUAD id_ {};
};

// Creates a blob holding the whole file at path and gives its id. Throws
// DatabaseError "Cannot open file "path". message" when the file cannot be
// opened or read, and the engine's errors.
ISC_QUAD StoreFileAsBlob(CGlobDB& db, const std::string& path);

}  // namespace dbupdate
