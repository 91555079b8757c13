#pragma once
// The POSIX extractor's staging directory: where entries are extracted
// before anything is put in place.

#include "Extractor.h"
#include "Refusals.h"
#include "UniqueFd.h"
#include "platform/File.h"

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace rarformat {

enum class Kind { File, Directory, Symlink };

struct Entry {
    std::vector<std::string> components;
    Kind kind = Kind::File;
    unsigned mode = 0;   // permission bits; 0 for the default
    std::string target;  // links only
};

// The staging directory: entries are extracted here and moved into the
// destination only when the whole archive was read without error. It is
// locked while it is in use, so that a later run can tell the staging
// directory of an interrupted run from one that is still working.
class Staging : public Refusals {
public:
    Staging(const std::string& destination, const ExtractOptions& options, std::ostream& err);
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;
    ~Staging();

    // Opens a new file in staging for the entry; not open when refused.
    platform::File CreateFile(const std::vector<std::string>& components, const std::string& name, unsigned mode);

    void AddDirectory(const std::vector<std::string>& components, const std::string& name, unsigned mode);

    // Links are only recorded here; they are made after every file is in
    // place, so that no entry is ever written through one.
    void AddSymlink(const std::vector<std::string>& components, const std::string& name, const std::string& target);

    // Copies an already extracted file to a new entry (hard links become files).
    void AddCopy(const std::vector<std::string>& components, const std::string& name, const std::string& source);

    // Moves everything into the destination in archive order: directories
    // and files first, then the directories' stored permissions, then links.
    void Commit();

private:
    static std::string RandomSuffix();

    // Removes the staging directories that interrupted runs left behind:
    // only names of this tool's own pattern, and only when no running
    // extraction holds their lock.
    void RemoveStaleStaging();

    // Whether the entry may take the name last in parent: a directory there
    // is refused; anything else is replaced only with -o+.
    bool MayReplace(int parent, const char* last, const std::string& name);

    void CommitDirectory(const Entry& entry);

    void CommitFile(const Entry& entry);

    // Makes a link when its target, resolved through everything in the
    // destination, stays inside, and when it does not lead an earlier link
    // of this archive outside.
    bool CommitSymlink(const Entry& entry, const std::vector<const Entry*>& made);

    // Remembers an entry once; a later entry of the same path decides its kind.
    void Record(Entry entry);

    const ExtractOptions& options_;
    rarextract::UniqueFd destination_;
    rarextract::UniqueFd root_;
    std::string name_;
    std::vector<Entry> order_;
    std::map<std::vector<std::string>, std::size_t> index_;
};

}  // namespace rarformat
