#pragma once
// The other clients attached to the database, as the engine's monitoring
// table MON$ATTACHMENTS shows them.

#include <optional>
#include <string>
#include <vector>

namespace dbupdate {

class CGlobDB;

struct Attachment {
    std::string process;  // the client's program path as the client reported it; may be empty
    std::string address;  // the workstation's network address; empty for a local attachment
    std::string user;
};

// The attachments of clients other than this connection; the engine's own
// attachments (cache writer, garbage collector) are left out. Reads in the
// connection's transaction. Gives nothing when the monitoring table cannot be
// read (an engine older than 2.1); an account without the right to see other
// users' attachments finds none. Throws the DatabaseError of a lost
// connection.
std::optional<std::vector<Attachment>> ReadOtherAttachments(CGlobDB& db);

}  // namespace dbupdate
