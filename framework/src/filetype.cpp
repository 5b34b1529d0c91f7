#include "vela/filetype.h"

#include <algorithm>

namespace vela {

namespace {
std::vector<RegisteredFileType>& registry()
{
    // Never destroyed: a type still held when the program ends through exit()
    // (the toolkit's way out when the display goes away) withdraws itself
    // from it during the static tear-down.
    static auto& types = *new std::vector<RegisteredFileType>;
    return types;
}
} // namespace

const std::vector<RegisteredFileType>& RegisteredFileTypes() { return registry(); }

FileType::~FileType() { Withdraw(); }

void FileType::Withdraw()
{
    if (!registered_)
        return;
    // Only this type's entry: another type may be registered under the same name.
    auto& r = registry();
    auto it = std::find_if(r.begin(), r.end(), [&](const RegisteredFileType& t) {
        return t.Name == name_ && t.Extensions == extensions_ && t.MacType == macType_ &&
               t.MacCreator == macCreator_;
    });
    if (it != r.end())
        r.erase(it);
    registered_ = false;
}

void FileType::SetName(const std::string& v) { Withdraw(); name_ = v; }
void FileType::SetExtensions(const std::string& v) { Withdraw(); extensions_ = v; }
void FileType::SetMacType(const std::string& v) { Withdraw(); macType_ = v; }
void FileType::SetMacCreator(const std::string& v) { Withdraw(); macCreator_ = v; }

std::string FileType::ToString()
{
    if (!registered_) {
        registry().push_back({name_, extensions_, macType_, macCreator_});
        registered_ = true;
    }
    return name_;
}

} // namespace vela
