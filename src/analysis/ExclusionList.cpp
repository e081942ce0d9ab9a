#include "analysis/ExclusionList.h"

#include "analysis/TextFiles.h"
#include "base/Text.h"

namespace morvanta {

void ExclusionList::Add(std::string_view entry)
{
    std::string text = LowerCase(Trim(entry));
    if (text.empty())
        return;
    if (text.front() != '@') {
        addresses_.insert(std::move(text));
        return;
    }
    // "@.example" and "@example." name the same domain as "@example".
    std::string_view domain(text);
    domain.remove_prefix(1);
    while (!domain.empty() && domain.front() == '.')
        domain.remove_prefix(1);
    while (!domain.empty() && domain.back() == '.')
        domain.remove_suffix(1);
    if (domain.empty())
        return;
    domainLengths_.insert(domain.size());
    domains_.emplace(domain);
}

void ExclusionList::AddLines(std::string_view text)
{
    for (const std::string& line : SplitLines(text))
        Add(line);
}

bool ExclusionList::Excludes(std::string_view address) const
{
    const std::string lowered = LowerCase(Trim(address));
    if (lowered.empty())
        return false;
    if (addresses_.contains(lowered))
        return true;
    const size_t atSign = lowered.rfind('@');
    if (atSign == std::string::npos || domains_.empty())
        return false;
    const std::string_view domain = std::string_view(lowered).substr(atSign + 1);
    for (size_t length : domainLengths_) {
        if (length > domain.size())
            break;
        const size_t start = domain.size() - length;
        if (start > 0 && domain[start - 1] != '.')
            continue;
        if (domains_.contains(std::string(domain.substr(start))))
            return true;
    }
    return false;
}

ExclusionList ReadExclusionLists(const std::string& programFolder)
{
    ExclusionList list;
    for (const char* name : { BlacklistFileName, BlocklistFileName, RegistryAddressesFileName })
        list.AddLines(ReadFileText(programFolder + name));
    return list;
}

} // namespace morvanta
