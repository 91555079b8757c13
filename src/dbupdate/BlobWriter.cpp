#include "dbupdate/BlobWriter.h"

#include "dbupdate/DatabaseError.h"
#include "dbupdate/FbClient.h"
#include "dbupdate/Uglobdb.h"
#include "platform/File.h"

#include <algorithm>
#include <vector>

namespace dbupdate {

namespace {

// The largest segment the client takes in one call is 65535 bytes; half of it
// keeps the buffer small without costing calls.
constexpr std::size_t kSegmentSize = 32768;

DatabaseError CannotOpen(const std::string& path, platform::Error error)
{
    return DatabaseError("Cannot open file \"" + path + "\". " + error.Message());
}

}  // namespace

BlobWriter::BlobWriter(CGlobDB& db) : db_(db)
{
    ISC_STATUS_ARRAY status {};
    db_.Api().create_blob2(status, db_.DbHandle(), db_.TrHandle(), &blob_, &id_, 0, nullptr);
    Check(db_.Api(), status, "BlobWriter::Create");
}

BlobWriter::~BlobWriter()
{
    if (blob_) {
        ISC_STATUS_ARRAY ignored {};
        db_.Api().cancel_blob(ignored, &blob_);
    }
}

void BlobWriter::Write(const char* data, std::size_t size)
{
    ISC_STATUS_ARRAY status {};
    for (std::size_t done = 0; done < size;) {
        const std::size_t part = std::min(size - done, kSegmentSize);
        db_.Api().put_segment(status, &blob_, static_cast<unsigned short>(part), data + done);
        Check(db_.Api(), status, "BlobWriter::Write");
        done += part;
    }
}

ISC_QUAD BlobWriter::Close()
{
    ISC_STATUS_ARRAY status {};
    db_.Api().close_blob(status, &blob_);
    Check(db_.Api(), status, "BlobWriter::Close");
    blob_ = 0;
    return id_;
}

ISC_QUAD StoreFileAsBlob(CGlobDB& db, const std::string& path)
{
    platform::File file = platform::File::OpenRead(path);
    if (!file.IsOpen())
        throw CannotOpen(path, file.OpenError());
    BlobWriter blob(db);
    std::vector<char> buffer(kSegmentSize);
    for (;;) {
        std::size_t got = 0;
        if (const platform::Error error = file.Read(buffer.data(), buffer.size(), got))
            throw CannotOpen(path, error);
        if (got == 0)
            return blob.Close();
        blob.Write(buffer.data(), got);
    }
}

}  // namespace dbupdate
