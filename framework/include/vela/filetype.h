// File types that the program declares; a type registers when converted to text.
#pragma once

#include <string>
#include <vector>

namespace vela {

class FileType {
public:
    ~FileType();
    std::string Name() const { return name_; }
    void SetName(const std::string& v);
    void SetExtensions(const std::string& v);
    void SetMacType(const std::string& v);
    void SetMacCreator(const std::string& v);
    std::string Extensions() const { return extensions_; }
    std::string MacType() const { return macType_; }
    std::string MacCreator() const { return macCreator_; }
    // Registers the type with the framework and yields its name.
    std::string ToString();

private:
    void Withdraw();
    std::string name_, extensions_, macType_, macCreator_;
    bool registered_ = false;
};

struct RegisteredFileType {
    std::string Name, Extensions, MacType, MacCreator;
};
const std::vector<RegisteredFileType>& RegisteredFileTypes();

} // namespace vela
