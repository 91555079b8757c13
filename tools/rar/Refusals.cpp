#include "Refusals.h"

#include "Extractor.h"

#include <ostream>

namespace rarformat {

bool Refusals::Accept(const std::string& name, std::vector<std::string>& components)
{
    std::string why;
    components = SafeComponents(name, why);
    for (const auto& component : components) {
        if (why.empty())
            why = ComponentProblem(component);
    }
    if (components.empty() || !why.empty()) {
        Refuse(name, why);
        return false;
    }
    return true;
}

void Refusals::Refuse(const std::string& name, const std::string& why)
{
    err_ << "rar: refused " << name << ": " << why << "\n";
    ++warnings;
}

}  // namespace rarformat
