#pragma once
// The entries an extraction does not write, on every system alike.

#include <iosfwd>
#include <string>
#include <vector>

namespace rarformat {

// Entries refused by an extraction: each is reported on err as
// "rar: refused NAME: WHY" and counted as a warning (exit code 1).
class Refusals {
public:
    explicit Refusals(std::ostream& err) : err_(err) {}
    virtual ~Refusals() = default;

    // Whether an entry may be extracted: its path stays inside the root
    // (SafeComponents) and every component is a name this system stores as
    // it is. components receives the path's components. A refused entry is
    // reported.
    bool Accept(const std::string& name, std::vector<std::string>& components);
    void Refuse(const std::string& name, const std::string& why);

    int warnings = 0;

protected:
    // Why this system cannot store a path component as it is; empty when it
    // can.
    virtual std::string ComponentProblem(const std::string&) const { return {}; }

private:
    std::ostream& err_;
};

}  // namespace rarformat
