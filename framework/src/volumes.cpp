#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "vela/platform.h"

namespace fs = std::filesystem;

namespace vela {

namespace {

// Mount tables escape blanks and the like as \ooo; label links as \xhh.
std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out += char(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (s[i] == '\\' && i + 3 < s.size() && isdigit(static_cast<unsigned char>(s[i + 1]))) {
            out += char(std::strtol(s.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// File systems that hold no files of a user's.
const std::set<std::string> pseudo = {
    "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue", "debugfs",
    "tracefs", "securityfs", "pstore", "bpf", "hugetlbfs", "configfs", "fusectl",
    "binfmt_misc", "autofs", "rpc_pipefs", "nsfs", "efivarfs", "selinuxfs", "ramfs"};

std::map<std::string, std::string> labels(const std::string& byLabel)
{
    std::map<std::string, std::string> result;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(byLabel, ec)) {
        auto device = fs::canonical(e.path(), ec);
        if (!ec)
            result[device.string()] = unescape(e.path().filename().string());
    }
    return result;
}

} // namespace

std::vector<VolumeInfo> ReadMountTable(const std::string& mountinfo, const std::string& byLabel)
{
    std::vector<VolumeInfo> volumes;
    auto byDevice = labels(byLabel);
    std::ifstream in(mountinfo);
    std::string line;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, mountPoint, word;
        fields >> id >> parent >> devno >> root >> mountPoint;
        while (fields >> word && word != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        if (mountPoint.empty() || pseudo.count(type))
            continue;
        mountPoint = unescape(mountPoint);
        struct stat st;
        // File bind mounts are no volumes.
        if (::stat(mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        std::string name;
        std::error_code ec;
        auto device = fs::canonical(unescape(source), ec);
        if (!ec && byDevice.count(device.string()))
            name = byDevice[device.string()];
        if (name.empty())
            name = fs::path(mountPoint).filename().string();
        if (name.empty())
            name = mountPoint;
        // A later mount on the same point hides the earlier one.
        if (seen.count(mountPoint)) {
            for (auto& v : volumes)
                if (v.path == mountPoint)
                    v.name = name;
            continue;
        }
        seen.insert(mountPoint);
        VolumeInfo v{name, mountPoint};
        if (mountPoint == "/")
            volumes.insert(volumes.begin(), v);
        else
            volumes.push_back(v);
    }
    return volumes;
}

} // namespace vela
